// The process entry: the only place that ends the process.

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "Gatewarden/main.h"
#include "platform/makePlatform.h"

int main(int argc, char** argv) {
    // A log write to a closed standard error must not end the tool; children get SIGPIPE back.
    std::signal(SIGPIPE, SIG_IGN);
    // A SIGCHLD ignored by whoever started the tool would make the system discard every command's
    // exit status, and a sysctl that succeeds would read as one that failed.
    std::signal(SIGCHLD, SIG_DFL);
    std::vector<std::string> arguments(argv, argv + argc);
    std::string program = arguments.empty() ? std::string() : arguments.front();
    if (auto slash = program.rfind('/'); slash != std::string::npos) program.erase(0, slash + 1);
    if (program.empty()) program = "Gatewarden";

    auto platform = gatewarden::makePlatform(program);
    gatewarden::OmbrixAgent::usePlatform(*platform);
    int status = gatewarden::runPreReqCheck(*platform, arguments, gatewarden::OmbrixAgent::layout());
    platform.reset();
    std::exit(status);
}
