// Replays a fuzz corpus (files, or folders of files) through a harness, so every
// input that once found a fault keeps being checked in ordinary builds.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
int RunFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A fresh copy of exactly the file's size lets ASan see any read past the end.
  std::vector<uint8_t> buf(bytes.begin(), bytes.end());
  LLVMFuzzerTestOneInput(buf.empty() ? nullptr : buf.data(), buf.size());
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  int runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p))
        if (e.is_regular_file()) runs += RunFile(e.path());
    } else if (std::filesystem::exists(p)) {
      runs += RunFile(p);
    } else {
      std::fprintf(stderr, "no such corpus: %s\n", argv[i]);
      return 2;
    }
  }
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("replayed %d inputs\n", runs);
  return 0;
}
