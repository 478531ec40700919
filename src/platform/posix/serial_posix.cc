// A serial line on POSIX: termios, raw 8N1 at the rate given, no flow
// control, reads that return what has come. The line is held exclusively
// (flock, as other terminal programs do, and TIOCEXCL) and its settings are
// put back when it is closed.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/serial.h"

namespace platform {

const int kSerialRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
const int kSerialRateCount = static_cast<int>(sizeof kSerialRates / sizeof kSerialRates[0]);

struct SerialLine {
  int fd;
  termios found;  // as it was: put back at close
};

namespace {

speed_t Speed(int baud) {
  switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
#ifdef B230400
    case 230400: return B230400;
#endif
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
    default: return B0;
  }
}

std::string Words(int error) {
  if (error == ENOENT || error == ENODEV || error == ENXIO) return "no such device";
  if (error == EBUSY || error == EWOULDBLOCK) return "busy: another program has it open";
  return std::strerror(error);
}

}  // namespace

SerialLine* OpenSerial(const char* device, int baud, std::string* error) {
  const speed_t speed = Speed(baud);
  // O_NONBLOCK: a line whose carrier is down still opens; the session never blocks on it.
  const int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = Words(errno);
    return nullptr;
  }
  auto fail = [&](const std::string& why) -> SerialLine* {
    *error = why;
    close(fd);
    return nullptr;
  };
  termios found{};
  if (!isatty(fd) || tcgetattr(fd, &found) != 0) return fail("not a serial device");
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(Words(errno));
  if (speed == B0) return fail("no such rate here");
  termios raw = found;
  cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  raw.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS | PARENB);
  raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  if (cfsetispeed(&raw, speed) != 0 || cfsetospeed(&raw, speed) != 0 || tcsetattr(fd, TCSANOW, &raw) != 0) {
    return fail(std::strerror(errno));
  }
  ioctl(fd, TIOCEXCL);
  return new SerialLine{fd, found};
}

Watched SerialWatched(const SerialLine* line) { return {line->fd, false}; }

int SerialReceive(SerialLine* line, char* buffer, int size) {
  const ssize_t n = read(line->fd, buffer, static_cast<size_t>(size));
  if (n > 0) return static_cast<int>(n);
  // Raw with VMIN 0: nothing waiting reads as 0, or EAGAIN with O_NONBLOCK;
  // a hung-up line (the far end of a pseudo-terminal gone) also reads as 0,
  // and poll then says so at once, for ever.
  if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return kReceiveFailed;
  pollfd slot{line->fd, POLLIN, 0};
  return n == 0 && poll(&slot, 1, 0) == 1 && (slot.revents & POLLHUP) != 0 ? kReceiveFailed : kReceiveNothing;
}

int SerialSend(SerialLine* line, const char* data, int size) {
  const ssize_t n = write(line->fd, data, static_cast<size_t>(size));
  if (n >= 0) return static_cast<int>(n);
  return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
}

int SerialBreak(SerialLine* line, std::string* error) {
  if (tcsendbreak(line->fd, 0) == 0) return 0;
  *error = std::strerror(errno);
  return -1;
}

void CloseSerial(SerialLine* line) {
  if (line == nullptr) return;
  ioctl(line->fd, TIOCNXCL);
  tcsetattr(line->fd, TCSANOW, &line->found);
  close(line->fd);
  delete line;
}

}  // namespace platform
