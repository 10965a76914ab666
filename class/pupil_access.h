#pragma once

#include <string>
#include <utility>
#include <vector>

enum class PupilCheck;

// How a pupil reaches the class server.
namespace pupilAccess {

// The libpq parameters that log the pupil in over the configured server's connection string,
// with timeouts that let a lost server be noticed.
std::vector<std::pair<std::string, std::string>> loginParameters(const std::string &studentNumber,
                                                                 const std::string &pin);

// See ClassClient::logIn.
PupilCheck logIn(const std::string &server, const std::string &studentNumber,
                 const std::string &pin, const std::string &historyPath, std::string &message);

} // namespace pupilAccess
