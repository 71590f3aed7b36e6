// The command the platform tests start. Modes: out COUNT BYTE [AFTER_MS] (the output after a while, then a
// while with the output closed), err, fds.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "out" && argc > 4) ::usleep(static_cast<useconds_t>(std::stoul(argv[4]) * 1000));
    if (mode == "out") std::fwrite(std::string(std::stoul(argv[2]), argv[3][0]).data(), 1, std::stoul(argv[2]), stdout);
    if (mode == "out" && argc > 4) std::fclose(stdout), ::usleep(static_cast<useconds_t>(std::stoul(argv[4]) * 1000));
    if (mode == "err") std::fputs("x\n", stderr);
    if (mode == "fds") {  // the descriptors open in this process, but the listing's own
        DIR* folder = ::opendir("/proc/self/fd");
        while (dirent* item = folder ? ::readdir(folder) : nullptr)
            if (item->d_name[0] != '.' && std::atoi(item->d_name) != ::dirfd(folder)) ::dprintf(1, "%s ", item->d_name);
        if (folder) ::closedir(folder);
    }
    return 0;
}
