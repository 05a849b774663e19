// peak_rss REPORT PROGRAM ARGV0 [ARG...]: runs PROGRAM with the given argv,
// writes its peak resident memory in KiB to the file REPORT and exits as it
// did (128 + signal number when it was killed).
//
// The kernel counts a process's resident memory from before its exec too,
// so the figure is only PROGRAM's own when the process that forks it is
// small, as this one is.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 4) return 126;
    const pid_t pid = fork();
    if (pid < 0) return 126;
    if (pid == 0) {
        execv(argv[2], argv + 3);
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return 126;
    std::FILE* report = std::fopen(argv[1], "w");
    if (report == nullptr) return 126;
#ifdef __APPLE__
    usage.ru_maxrss /= 1024;  // counted in bytes there, in KiB on Linux and the BSDs
#endif
    std::fprintf(report, "%ld\n", usage.ru_maxrss);
    if (std::fclose(report) != 0) return 126;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
