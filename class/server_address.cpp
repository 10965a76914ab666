#include "server_address.h"

#include <cstdlib>
#include <libpq-fe.h>
#include <string_view>

namespace serverAddress {

namespace {

std::string optionOf(const PQconninfoOption *options, std::string_view keyword)
{
    for (const PQconninfoOption *option = options; option && option->keyword; ++option)
        if (keyword == option->keyword && option->val)
            return option->val;
    return {};
}

// The options libpq would use for the connection string, services and environment included;
// nullptr when it names a service that is not defined, or does not parse. libpq expands a service
// only for a connection: this one is given a channel binding no server takes, which libpq refuses
// before it looks anything up or sends anything.
PQconninfoOption *expandedOptions(const std::string &conninfo)
{
    const char *keywords[] = {"dbname", "channel_binding", nullptr};
    const char *values[] = {conninfo.c_str(), "none-at-all", nullptr};
    PGconn *conn = PQconnectStartParams(keywords, values, 1);
    PQconninfoOption *options = conn ? PQconninfo(conn) : nullptr;
    PQfinish(conn);
    // Options that did not parse leave every field unset; parsed ones always name a user.
    if (options && optionOf(options, "user").empty()) {
        PQconninfoFree(options);
        return nullptr;
    }
    return options;
}

bool isLocalHost(std::string_view host)
{
    return host.empty() || host.front() == '/' || host.front() == '@' || host == "localhost"
        || host == "::1" || host.starts_with("127.");
}

// Whether every host of a list ("a,b") is this machine.
bool allLocal(const std::string &hosts)
{
    std::string_view rest = hosts;
    while (true) {
        const std::size_t comma = rest.find(',');
        if (!isLocalHost(rest.substr(0, comma)))
            return false;
        if (comma == std::string_view::npos)
            return true;
        rest.remove_prefix(comma + 1);
    }
}

} // namespace

std::string configured(const std::string &option)
{
    if (!option.empty())
        return option;
    const std::string service = std::string("service=") + serviceName;
    PQconninfoOption *options = expandedOptions(service);
    if (!options)
        return {};
    PQconninfoFree(options);
    return service;
}

std::string withVerifiedTls(const std::string &conninfo)
{
    PQconninfoOption *options = expandedOptions(conninfo);
    if (!options)
        return conninfo;
    const std::string hostAddress = optionOf(options, "hostaddr");
    const bool local = allLocal(hostAddress.empty() ? optionOf(options, "host") : hostAddress);
    const std::string mode = optionOf(options, "sslmode");
    PQconninfoFree(options);
    // "prefer" is what libpq takes when nothing sets a mode.
    if (local || (!mode.empty() && mode != "prefer"))
        return conninfo;
    const bool isUri = conninfo.starts_with("postgresql://") || conninfo.starts_with("postgres://");
    if (isUri)
        return conninfo + (conninfo.find('?') == std::string::npos ? "?" : "&")
            + "sslmode=verify-full";
    return conninfo + " sslmode=verify-full";
}

} // namespace serverAddress
