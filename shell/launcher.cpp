// The `tavorindle` executable. It links no Qt: a command for a copy that
// already runs costs a process start of a few libraries. Everything else
// (the program itself, help, a command that reads standard input, or no
// copy running) is the program module's, loaded into this same process, so
// /proc/PID/exe stays the installed binary that desktop entries name.
#include "commands/command_client.h"

#include <cstdio>
#include <string>

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace {

// TAVORINDLE_MODULE is the module's path relative to this executable's
// folder, the same in the build tree and once installed.
std::string modulePath()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return {};
    const std::string executable(self, size_t(length));
    return executable.substr(0, executable.rfind('/') + 1) + TAVORINDLE_MODULE;
}

} // namespace

int main(int argc, char *argv[])
{
    if (const auto status = CommandClient::forward(argc, argv))
        return *status;

    const std::string path = modulePath();
    void *module = path.empty() ? nullptr : ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!module)
        return CommandClient::fail(std::string("cannot load the program: ")
                                   + (path.empty() ? "no /proc/self/exe" : ::dlerror()));
    using Main = int (*)(int, char **);
    const auto programMain = reinterpret_cast<Main>(::dlsym(module, "tavorindleMain"));
    if (!programMain)
        return CommandClient::fail(std::string("cannot load the program: ") + ::dlerror());
    // Never unloaded: statics of Qt's and ours end with the process.
    return programMain(argc, argv);
}
