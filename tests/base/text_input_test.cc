// Which files openTextInput takes: regular files and FIFOs, the latter
// without waiting for a writer and handed back in blocking mode; devices,
// sockets and directories are refused with ENXIO.
#include "base/text_input.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "support/files.h"
#include "support/temp_dir.h"

namespace knotter {
namespace {

TEST(TextInput, RefusesWhatIsNeitherAFileNorAFifo) {
  ktest::TempDir dir;
  std::filesystem::create_directories(dir.file("d"));
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, dir.file("s").c_str());
  ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(sock);

  const struct {
    const char* name;
    std::string path;
    int error;
  } cases[] = {
      {"character device", "/dev/zero", ENXIO},
      {"directory", dir.file("d").string(), ENXIO},
      {"socket", dir.file("s").string(), ENXIO},
      {"missing", dir.file("none").string(), ENOENT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    errno = 0;
    EXPECT_EQ(openTextInput(c.path.c_str()), -1);
    EXPECT_EQ(errno, c.error);
  }
}

TEST(TextInput, OpensFilesAndFifosForBlockingReads) {
  ktest::TempDir dir;
  ktest::writeFile(dir.file("f"), "x\n");
  ASSERT_EQ(::mkfifo(dir.file("p").c_str(), 0600), 0);
  for (const char* name : {"f", "p"}) {
    SCOPED_TRACE(name);
    // A FIFO that no one writes to opens at once and reads as empty.
    const int fd = openTextInput(dir.file(name).c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    char buffer[4];
    EXPECT_EQ(::read(fd, buffer, sizeof buffer), name[0] == 'f' ? 2 : 0);
    ::close(fd);
  }
}

}  // namespace
}  // namespace knotter
