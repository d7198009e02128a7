/* Runs inside the test virtual machine: finds strokerelayd's virtual keyboard among the evdev devices and
 * prints every key event it sends, one line each, so that the host can compare them with what it sent.
 *
 * Usage: evdev_reader NAME_PART WAIT_SECONDS READY_FILE
 *   Waits up to WAIT_SECONDS for a device whose name contains NAME_PART and that reports key events, opens
 * it, creates READY_FILE (from then on no event is missed) and prints until the device goes away.
 *
 * Output lines (each written whole in one write, so that other console writers cannot split them):
 *   @@EVR device PATH rep=R NAME  the device found; R is 1 when the kernel auto-repeats its keys (EV_REP)
 *   @@EVR key CODE VALUE        one EV_KEY event: VALUE 1 press, 0 release, 2 autorepeat
 *   @@EVR dropped               the kernel's event queue overflowed: events were lost
 *   @@EVR gone                  the device was removed (normal end)
 *   @@EVR notfound | error ...  failure
 * Exit status: 0 after "gone", 1 on a read error, 2 when no device was found.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define BITS_PER_LONG_ (8 * sizeof(unsigned long))

static void put(const char* text) {
  size_t left = strlen(text);
  while (left > 0) {
    ssize_t n = write(STDOUT_FILENO, text, left);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    text += n;
    left -= (size_t)n;
  }
}

static int reports(int fd, unsigned type) {
  unsigned long types[EV_MAX / BITS_PER_LONG_ + 1];
  memset(types, 0, sizeof types);
  if (ioctl(fd, EVIOCGBIT(0, sizeof types), types) < 0)
    return 0;
  return (int)((types[type / BITS_PER_LONG_] >> (type % BITS_PER_LONG_)) & 1UL);
}

/* Opens the first /dev/input/event* device whose name contains namePart; -1 when there is none yet. */
static int open_matching(const char* namePart, char* path, size_t pathSize, char* name, size_t nameSize) {
  DIR* dir = opendir("/dev/input");
  if (dir == NULL)
    return -1;
  int found = -1;
  struct dirent* entry;
  while (found < 0 && (entry = readdir(dir)) != NULL) {
    if (strncmp(entry->d_name, "event", 5) != 0)
      continue;
    snprintf(path, pathSize, "/dev/input/%s", entry->d_name);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      continue;
    memset(name, 0, nameSize);
    if (ioctl(fd, EVIOCGNAME(nameSize - 1), name) >= 0 && strstr(name, namePart) != NULL &&
        reports(fd, EV_KEY)) {
      found = fd;
    } else {
      close(fd);
    }
  }
  closedir(dir);
  return found;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s NAME_PART WAIT_SECONDS READY_FILE\n", argv[0]);
    return 2;
  }
  const char* namePart = argv[1];
  const long waitMs = atol(argv[2]) * 1000L;
  const char* readyFile = argv[3];

  char path[300];
  char name[256];
  char line[640];
  int fd = -1;
  const struct timespec step = {0, 50 * 1000 * 1000};
  for (long waited = 0; fd < 0; waited += 50) {
    fd = open_matching(namePart, path, sizeof path, name, sizeof name);
    if (fd >= 0)
      break;
    if (waited >= waitMs) {
      put("@@EVR notfound\n");
      return 2;
    }
    nanosleep(&step, NULL);
  }
  snprintf(line, sizeof line, "@@EVR device %s rep=%d %s\n", path, reports(fd, EV_REP), name);
  put(line);

  /* The kernel keeps only a few dozen events per reader; a burst of several hundred keys from one datagram
   * must not outrun this process, so it runs ahead of ordinary tasks when the scheduler allows it. */
  struct sched_param priority = {.sched_priority = 50};
  if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0)
    put("@@EVR note no realtime priority\n");

  int ready = open(readyFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (ready >= 0)
    close(ready);

  static struct input_event events[512];
  static char out[512 * 32];
  for (;;) {
    ssize_t n = read(fd, events, sizeof events);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      if (errno == ENODEV) {
        put("@@EVR gone\n");
        return 0;
      }
      snprintf(line, sizeof line, "@@EVR error read %s\n", strerror(errno));
      put(line);
      return 1;
    }
    if (n == 0) {
      put("@@EVR gone\n");
      return 0;
    }
    size_t used = 0;
    size_t count = (size_t)n / sizeof events[0];
    for (size_t i = 0; i < count; ++i) {
      const struct input_event* ev = &events[i];
      int len = 0;
      if (ev->type == EV_KEY) {
        len = snprintf(out + used, sizeof out - used, "@@EVR key %u %d\n", ev->code, ev->value);
      } else if (ev->type == EV_SYN && ev->code == SYN_DROPPED) {
        len = snprintf(out + used, sizeof out - used, "@@EVR dropped\n");
      }
      if (len > 0)
        used += (size_t)len;
    }
    out[used] = '\0';
    put(out);
  }
}
