// The least work a LIST of a directory can cost a server, as a reference for the listing
// workload: read the names, read each entry's facts, and format its line of the ls long
// layout into a buffer that is reused once full, as a server sending the text in pieces
// would. No sorting, no session, no sending. Prints the median milliseconds of the runs,
// the median processor milliseconds (which a busy machine blurs less), and the bytes one
// run formats.
//
// Usage: list_floor DIRECTORY [RUNS]

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::size_t ListOnce(const char* path) {
  DIR* directory = opendir(path);
  if (!directory) {
    std::perror(path);
    std::exit(1);
  }
  const int fd = dirfd(directory);
  static char piece[64 * 1024];
  std::size_t used = 0;
  std::size_t bytes = 0;
  while (const dirent* entry = readdir(directory)) {
    if (entry->d_name[0] == '.')
      continue;
    struct stat facts {};
    if (fstatat(fd, entry->d_name, &facts, 0) != 0)
      continue;
    struct tm local {};
    localtime_r(&facts.st_mtime, &local);
    if (sizeof piece - used < 512) {
      bytes += used;
      used = 0;
    }
    const int length = std::snprintf(
        piece + used, 512, "%s   1 root     root     %8lld %s %02d %02d:%02d %s\r\n",
        S_ISDIR(facts.st_mode) ? "drwxrwxr-x" : "-rw-rw-r--", static_cast<long long>(facts.st_size),
        kMonths[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min, entry->d_name);
    used += static_cast<std::size_t>(std::min(length, 511));
  }
  closedir(directory);
  return bytes + used;
}

double CpuMillis() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: list_floor DIRECTORY [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::atoi(argv[2]) : 21;
  std::vector<double> millis;
  std::vector<double> cpu_millis;
  std::size_t bytes = 0;
  for (int i = 0; i < std::max(runs, 1); ++i) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = CpuMillis();
    bytes = ListOnce(argv[1]);
    cpu_millis.push_back(CpuMillis() - cpu_start);
    millis.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::printf("%.3f %.3f %zu\n", Median(millis), Median(cpu_millis), bytes);
  return 0;
}
