// The command the runner tests start. Modes: out COUNT BYTE [TAIL], both, err, args ARGUMENTS..., fds,
// kill SIGNAL, exit STATUS, env NAME.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

static void put(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count <= 0) std::exit(3);
        done += static_cast<std::size_t>(count);
    }
}

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "", value = argc > 2 ? argv[2] : "0";
    if (mode == "out") {
        for (std::size_t left = std::stoul(value), size; left > 0; left -= size)
            put(1, std::string(size = std::min<std::size_t>(left, 65536), argc > 3 ? argv[3][0] : 'x'));
        if (argc > 4) put(1, argv[4]);
    } else if (mode == "both" || mode == "err") {
        if (mode == "both") put(1, "out\n");
        put(2, "err\n");
    } else if (mode == "args") {
        for (int i = 2; i < argc; ++i) put(1, "[" + std::string(argv[i]) + "]");
    } else if (mode == "fds") {  // the descriptors open in this process, but the listing's own
        DIR* folder = ::opendir("/proc/self/fd");
        while (dirent* item = folder ? ::readdir(folder) : nullptr)
            if (item->d_name[0] != '.' && std::atoi(item->d_name) != ::dirfd(folder)) put(1, item->d_name + std::string(" "));
        if (folder) ::closedir(folder);
    } else if (mode == "kill" || mode == "exit") {  // 99: the signal did not end the process
        return mode == "kill" ? (::raise(std::atoi(value.c_str())), 99) : std::atoi(value.c_str());
    } else if (mode == "env") {
        put(1, std::getenv(value.c_str()) ? std::getenv(value.c_str()) : "(unset)");
    } else {
        return 100;
    }
    return 0;
}
