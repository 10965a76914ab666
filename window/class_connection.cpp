#include "class_connection.h"

#include "class_client.h"

#include <QCoreApplication>

#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <string_view>

namespace classConnection {

namespace {

bool definesService(const std::string &path)
{
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start != std::string::npos
            && std::string_view(line).substr(start).starts_with("[typing-drill]"))
            return true;
    }
    return false;
}

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

} // namespace

bool mayBeConfigured(const std::string &serverOption)
{
    if (!serverOption.empty())
        return true;
    // libpq's places, in its order: the user's file, then the system's (Debian's libpq keeps it
    // in /etc/postgresql-common unless PGSYSCONFDIR says otherwise).
    const std::string userFile = !environment("PGSERVICEFILE").empty()
        ? environment("PGSERVICEFILE")
        : environment("HOME") + "/.pg_service.conf";
    const std::string systemFolder = !environment("PGSYSCONFDIR").empty()
        ? environment("PGSYSCONFDIR")
        : std::string("/etc/postgresql-common");
    return definesService(userFile) || definesService(systemFolder + "/pg_service.conf");
}

std::unique_ptr<ClassClient> load(std::string &error)
{
    const std::string path =
        QCoreApplication::applicationDirPath().toStdString() + "/" CLASS_MODULE_FROM_PROGRAM;
    // Never closed: the sender's thread may outlive the client, running the module's code.
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto make =
        module ? reinterpret_cast<MakeClassClient>(dlsym(module, makeClassClientSymbol)) : nullptr;
    if (!make) {
        const char *reason = dlerror();
        error = reason ? reason : "the class module has no entry point";
        return nullptr;
    }
    return std::unique_ptr<ClassClient>(make());
}

} // namespace classConnection
