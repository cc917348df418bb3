#pragma once
// Where a request is going. A program that uses the simulator as its proxy
// sends the absolute form ("GET http://host:80/path?query HTTP/1.1"); a
// direct request sends the origin form ("/path?query") with a Host header.

#include <optional>
#include <string>

struct RequestTarget {
  std::string host;   // normalized (see NormalizeHost)
  std::string path;   // starts with '/', still percent-encoded
  std::string query;  // after the first '?', without it
  bool proxied = false;
};

// target is the raw request target; in the absolute form its host wins over
// the Host header. nullopt for any other form (a scheme other than http,
// "*", an authority alone) or an empty host.
std::optional<RequestTarget> ParseRequestTarget(const std::string& target, const std::string& host_header);
