#pragma once
// The control interface: plain HTTP on the simulator's own port under the
// control host name (by default "sim.control"), reachable directly with a
// Host header or through the simulator as a proxy. Reads are GET, changes
// are POST; parameters come in the query or in a form body.
//
//   GET  /                  this list, as text
//   GET  /state             hosts, shops with their waiting entries, live sessions and keys, armed faults
//   GET  /log[?since=SEQ]   the request log (every request but the control host's), entries after SEQ
//   POST /log/clear
//   POST /shop              account, password, shop_id
//   POST /password          account, password
//   POST /entry/add         category (web|liuyan|tousu), entry, [shop_id]
//   POST /entry/treat       [category], [entry], [shop_id]: every category / entry when left out
//   POST /sessions/expire   [shop_id]: every shop's sessions when left out; their keys end too
//   POST /fault             host (auth|order|console or a host name), kind, [times], [delay_ms],
//                           [size], [offset], [path]
//   POST /fault/clear       [host]
//
// Where shop_id is optional, the first shop added is meant. Every answer
// but the list is JSON: {"ok":true,"message":..} or {"ok":false,"error":..}.

#include <string>

#include "sim/query_text.h"
#include "sim/routes.h"
#include "sim/sim_state.h"

ServiceReply AnswerControlRequest(SimState& state, const std::string& method, const std::string& path,
                                  const QueryParams& params);
