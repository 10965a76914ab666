// The class module's entry point. The drill loads this file with dlopen only when a class server
// is configured, so libpq and the TLS libraries behind it are mapped only then.
#include "class_client.h"
#include "pupil_access.h"
#include "server_address.h"

#include <type_traits>

namespace {

class ModuleClassClient final : public ClassClient
{
public:
    std::string configuredServer(const std::string &option) override
    {
        return serverAddress::configured(option);
    }

    PupilCheck logIn(const std::string &server, const std::string &studentNumber,
                     const std::string &pin, const std::string &historyPath,
                     std::string &message) override
    {
        return pupilAccess::logIn(server, studentNumber, pin, historyPath, message);
    }

    std::unique_ptr<RunSending> startSending(RunSenderOptions options,
                                             const std::string &studentNumber,
                                             const std::string &pin) override
    {
        options.login = pupilAccess::loginParameters(studentNumber, pin);
        return std::make_unique<RunSender>(std::move(options));
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) ClassClient *typing_drill_make_class_client()
{
    return new ModuleClassClient;
}

static_assert(std::is_same_v<decltype(&typing_drill_make_class_client), MakeClassClient>);
