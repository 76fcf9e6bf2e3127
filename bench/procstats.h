#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace bench {

// A field of /proc/<pid>/status ("Threads:", "VmRSS:"), -1 when missing.
inline long procStatusField(const char *field, const char *pid = "self")
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%s/status", pid);
    FILE *f = std::fopen(path, "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, field, n) == 0) {
            value = std::atol(line + n);
            break;
        }
    }
    std::fclose(f);
    return value;
}

inline long threadCount()
{
    return procStatusField("Threads:");
}
inline long rssKiB()
{
    return procStatusField("VmRSS:");
}

// User plus system CPU of another process, in nanoseconds.
inline unsigned long long processCpuNsOf(long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    FILE *f = std::fopen(path, "r");
    if (!f)
        return 0;
    char buffer[1024];
    const std::size_t size = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    buffer[size] = 0;
    const char *p = std::strrchr(buffer, ')');
    if (!p)
        return 0;
    unsigned long long utime = 0, stime = 0;
    // fields after the command: state(3) ... utime(14) stime(15)
    std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime);
    const long ticks = sysconf(_SC_CLK_TCK);
    return (utime + stime) * (1000000000ull / (unsigned long long)(ticks > 0 ? ticks : 100));
}

} // namespace bench
