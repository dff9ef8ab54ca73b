#include "support/files.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace ktest {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read " + path.string());
  }
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

std::filesystem::path fixturesDir() { return KNOTTER_FIXTURES; }

std::filesystem::path copyFixture(const std::string& name,
                                  const std::filesystem::path& dir) {
  // Written afresh rather than copied, so that the mode of the fixture
  // files (read-only in some checkouts) does not carry over to the copies.
  for (const char* suffix : {".sqd", ".sqi"}) {
    writeFile(dir / (name + suffix), readFile(fixturesDir() / (name + suffix)));
  }
  return dir / name;
}

}  // namespace ktest
