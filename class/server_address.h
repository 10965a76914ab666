#pragma once

#include <string>

// Where the class server is and how it is reached, decided the libpq way.
namespace serverAddress {

// The libpq service a lab image defines to point every drill at the school's server.
constexpr const char *serviceName = "typing-drill";

// The connection string given with --server; else "service=typing-drill" when that service is
// defined where libpq looks (PGSERVICEFILE, ~/.pg_service.conf, the system's pg_service.conf);
// else empty: no server. Reads only files.
std::string configured(const std::string &option);

// The connection string, made to verify the server's certificate and name (sslmode=verify-full)
// when it reaches a host over the network and sets no sslmode of its own (libpq's default,
// "prefer", would accept any server). A Unix socket or the loopback address is left as it is.
// Reads only files, as configured() does.
std::string withVerifiedTls(const std::string &conninfo);

} // namespace serverAddress
