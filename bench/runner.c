/* Times commands side by side: runner [-l LINK] ROUNDS NAME -- COMMAND... [-- NAME -- COMMAND...]...
 * Each round runs every command once, in turn, so that a slow moment of the machine falls on all of
 * them alike. Prints per command: name, median wall time in ms, and peak resident memory in KiB of
 * the command and the children it waited for. Standard output and error go to /dev/null.
 * With -l, the first word of each command is a file that LINK is made a symbolic link to before the
 * command starts, untimed: commands that read one path then read a file each. */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

struct command {
    const char* name;
    char** argv;
    double* times;
    long peak;
};

static int compare(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv) {
    const char* link = NULL;
    if (argc > 2 && strcmp(argv[1], "-l") == 0) link = argv[2], argv += 2, argc -= 2;
    if (argc < 5) {
        fprintf(stderr, "usage: runner [-l LINK] ROUNDS NAME -- COMMAND... [-- NAME -- COMMAND...]...\n");
        return 2;
    }
    int rounds = atoi(argv[1]);
    struct command commands[32];
    int count = 0;
    for (int i = 2; i < argc && count < 32;) {
        struct command* c = &commands[count++];
        c->name = argv[i];
        c->argv = &argv[i + 2];
        int end = i + 2;
        while (end < argc && strcmp(argv[end], "--") != 0) ++end;
        argv[end < argc ? end : argc] = NULL;
        c->times = calloc((size_t)rounds, sizeof(double));
        c->peak = 0;
        i = end + 1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < count; ++k) {
            char** command = commands[k].argv;
            if (link) {
                unlink(link);
                if (symlink(*command++, link) != 0) {
                    perror(link);
                    return 1;
                }
            }
            struct timespec start, end;
            clock_gettime(CLOCK_MONOTONIC, &start);
            pid_t pid;
            if (posix_spawn(&pid, command[0], &actions, NULL, command, environ) != 0) {
                perror(command[0]);
                return 1;
            }
            struct rusage usage;
            int status;
            wait4(pid, &status, 0, &usage);
            clock_gettime(CLOCK_MONOTONIC, &end);
            commands[k].times[round] =
                (double)(end.tv_sec - start.tv_sec) * 1e3 + (double)(end.tv_nsec - start.tv_nsec) / 1e6;
            if (usage.ru_maxrss > commands[k].peak) commands[k].peak = usage.ru_maxrss;
        }
    }
    for (int k = 0; k < count; ++k) {
        qsort(commands[k].times, (size_t)rounds, sizeof(double), compare);
        printf("%s\t%.3f\t%ld\n", commands[k].name, commands[k].times[rounds / 2], commands[k].peak);
        free(commands[k].times);
    }
    return 0;
}
