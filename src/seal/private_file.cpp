#include "seal/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace srd::seal {
namespace {

std::string Reason(const std::string& path, const char* what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

// Why a file or directory that stat described cannot be trusted to be private, or empty. forbidden: the mode
// bits no one but the user may have (0066 for a file: read or write; 0022 for a directory: write).
std::string Untrusted(const std::string& path, const struct stat& info, mode_t forbidden) {
  if (info.st_uid != geteuid()) {
    return path + " belongs to another user (uid " + std::to_string(info.st_uid) + ")";
  }
  if ((info.st_mode & forbidden) == 0) {
    return {};
  }
  char mode[8];
  std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(info.st_mode & 0777));
  const char* who = (info.st_mode & forbidden & 0044) != 0 ? "read" : "written";
  return path + " can be " + who + " by others (mode " + mode + "; only its user may " +
         (forbidden == 0022 ? "write to it)" : "read or write it: chmod 600)");
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

ReadResult ReadPrivateFile(const std::string& path, std::size_t maxBytes) {
  ReadResult result;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) {
      return result;
    }
    result.status = ReadStatus::kRefused;
    result.whyNot = errno == ELOOP ? path + " is a symbolic link" : Reason(path, "cannot be opened");
    return result;
  }
  result.status = ReadStatus::kRefused;
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    result.whyNot = Reason(path, "cannot be examined");
  } else if (!S_ISREG(info.st_mode)) {
    result.whyNot = path + " is not a regular file";
  } else if (std::string untrusted = Untrusted(path, info, 0066); !untrusted.empty()) {
    result.whyNot = untrusted;
  } else if (static_cast<std::size_t>(info.st_size) > maxBytes) {
    result.whyNot = path + " is longer than " + std::to_string(maxBytes) + " bytes";
  } else {
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0) {
        result.whyNot = Reason(path, "cannot be read");
        break;
      }
      if (n == 0) {
        result.status = ReadStatus::kRead;
        break;
      }
      if (result.text.size() + static_cast<std::size_t>(n) > maxBytes) {
        result.whyNot = path + " is longer than " + std::to_string(maxBytes) + " bytes";
        break;
      }
      result.text.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  if (result.status != ReadStatus::kRead) {
    result.text.clear();
  }
  return result;
}

std::string MakePrivateDirectory(const std::string& directory) {
  for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
    const std::string part = directory.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      return Reason(part, "cannot be made");
    }
    if (slash == std::string::npos) {
      break;
    }
  }
  struct stat info {};
  if (lstat(directory.c_str(), &info) != 0) {
    return Reason(directory, "cannot be examined");
  }
  if (!S_ISDIR(info.st_mode)) {
    return directory + " is not a directory";
  }
  return Untrusted(directory, info, 0022);
}

std::string WritePrivateFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".new";
  unlink(temporary.c_str());  // the leftover of a write that was cut short
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    return Reason(temporary, "cannot be created");
  }
  const bool written = WriteAll(fd, text) && fsync(fd) == 0;
  const int savedErrno = errno;
  close(fd);
  if (!written) {
    unlink(temporary.c_str());
    errno = savedErrno;
    return Reason(temporary, "cannot be written");
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = Reason(path, "cannot be replaced");
    unlink(temporary.c_str());
    return why;
  }
  return {};
}

std::string RemovePrivateFile(const std::string& path) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    return Reason(path, "cannot be removed");
  }
  return {};
}

std::string ConfigDirectory(const std::string& program) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') {
    return std::string(config) + "/" + program;
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return std::string(home) + "/.config/" + program;
  }
  return {};
}

}  // namespace srd::seal
