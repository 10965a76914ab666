#pragma once

#include <memory>
#include <string>

class ClassClient;

// The class server as far as the drill itself goes. Nothing of libpq is loaded unless a server
// may be configured, so that a start without one costs nothing more than a few file checks.
namespace classConnection {

// Whether --server was given, or a libpq service file, where libpq looks for one, defines the
// service typing-drill. The class module then says for sure (ClassClient::configuredServer).
bool mayBeConfigured(const std::string &serverOption);

// Loads the class module from beside the sound module; null, with the reason, when it cannot.
std::unique_ptr<ClassClient> load(std::string &error);

} // namespace classConnection
