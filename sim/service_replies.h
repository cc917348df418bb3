#pragma once
// The bodies the service's pages answer with, byte for byte as the program
// reads them. Non-ASCII text travels as \u escapes, as the service's own
// JSON encoder writes it.

#include <string>

#include "sim/service_model.h"

std::string LoginSuccessReply(const LoginGrant& grant);
std::string LoginFailReply();
// A bare JSON string: the key between double quotes, nothing else.
std::string KeyReply(const std::string& key);
// The service's refusal of a key: "bad request!" between double quotes.
std::string KeyRefusedReply();
std::string UntreatedReply(const UntreatedAnswer& answer);
