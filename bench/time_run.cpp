// Runs a command pinned to one core and prints its wall time in
// nanoseconds and its peak resident size in KiB, measured from the fork to
// the end of the wait, so that no shell or timing program adds to it:
//   lsf_time_run CPU COMMAND [ARGS...]
// The command's own exit status is not judged (the converter ends with 2).
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: lsf_time_run CPU COMMAND [ARGS...]\n");
        return 64;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(std::atoi(argv[1]), &set);
    if (sched_setaffinity(0, sizeof set, &set) != 0) {
        std::perror("sched_setaffinity");
        return 1;
    }
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    while (wait4(pid, &status, 0, &ru) < 0) {
        if (errno != EINTR) {
            std::perror("wait4");
            return 1;
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
        std::fprintf(stderr, "lsf_time_run: cannot run %s\n", argv[2]);
        return 1;
    }
    const long long ns = (end.tv_sec - start.tv_sec) * 1000000000LL + (end.tv_nsec - start.tv_nsec);
    std::printf("%lld %ld\n", ns, ru.ru_maxrss);
    return 0;
}
