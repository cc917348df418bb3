#pragma once
// Turns a normal reply into what a faulty host sends on the wire.

#include <httplib.h>

#include "sim/faults.h"
#include "sim/routes.h"

// For the faults that start from the normal reply (truncate, huge, nul)
// and those that replace it (error500, garbage). Bodies that are large or
// must end early are written by a content provider, so a 50 MB reply
// costs no 50 MB of memory and a cut body really ends the connection.
void WriteFaultyReply(const FaultPlan& plan, const ServiceReply& normal, httplib::Response& response);

// The normal reply, unchanged.
void WriteReply(const ServiceReply& reply, httplib::Response& response);
