#include "engine/imageinfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratchdir.h"

namespace qv {
namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += static_cast<char>(c);
  return s;
}

std::string Gif(int w, int h) { return "GIF89a" + Bytes({w & 255, w >> 8, h & 255, h >> 8}); }

std::string Png(unsigned w, unsigned h) {
  std::string s = Bytes({0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13});
  s += "IHDR";
  s += Bytes({int(w >> 24), int((w >> 16) & 255), int((w >> 8) & 255), int(w & 255)});
  s += Bytes({int(h >> 24), int((h >> 16) & 255), int((h >> 8) & 255), int(h & 255)});
  s += Bytes({8, 2, 0, 0, 0});
  return s;
}

// A JPEG with `padding` bytes of APP segments before a frame header of the
// given marker (0xC0 baseline, 0xC2 progressive), then some scan bytes.
std::string Jpeg(int w, int h, std::size_t padding, int marker = 0xC0) {
  std::string s = Bytes({0xFF, 0xD8});
  while (padding > 0) {
    std::size_t len = std::min<std::size_t>(padding, 60000);
    if (len < 4) len = 4;
    s += Bytes({0xFF, 0xE1, int((len - 2 + 2) >> 8), int((len - 2 + 2) & 255)});
    s += std::string(len - 2, 'x');
    padding -= std::min(padding, len);
  }
  s += Bytes({0xFF, marker, 0, 17, 8, h >> 8, h & 255, w >> 8, w & 255, 3});
  s += std::string(200, 0);
  return s;
}

struct Case {
  const char* name;
  std::string bytes;
  std::string type;
  int width, height;
};

TEST(GetImageInfo, Table) {
  test::TScratchDir dir;
  const std::vector<Case> cases = {
      {"gif", Gif(320, 200), "image/gif", 320, 200},
      {"gif of 9 bytes", Gif(320, 200).substr(0, 9), "", 0, 0},
      {"gif of 10 bytes", Gif(640, 1).substr(0, 10), "image/gif", 640, 1},
      {"gif letters any case", "gif87a" + Bytes({1, 0, 2, 0}), "image/gif", 1, 2},
      {"png", Png(800, 600), "image/x-png", 800, 600},
      {"png of 24 bytes", Png(800, 600).substr(0, 24), "", 0, 0},
      {"png of 25 bytes", Png(800, 600).substr(0, 25), "image/x-png", 800, 600},
      {"png width past 32-bit signed", Png(0x80000000u, 5), "image/x-png", 0, 5},
      {"jpeg baseline", Jpeg(1024, 768, 100), "image/jpeg", 1024, 768},
      {"jpeg progressive", Jpeg(300, 400, 20, 0xC2), "image/jpeg", 300, 400},
      {"jpeg frame header past the first window", Jpeg(1600, 1200, 5000), "image/jpeg", 1600, 1200},
      {"jpeg frame header far into the file", Jpeg(77, 88, 700000), "image/jpeg", 77, 88},
      {"jpeg frame header straddling a window edge", Jpeg(5, 6, 2040), "image/jpeg", 5, 6},
      {"jpeg of 20 bytes", Jpeg(1, 1, 100).substr(0, 20), "", 0, 0},
      {"jpeg truncated before its frame", Jpeg(1, 1, 5000).substr(0, 3000), "image/jpeg", 0, 0},
      {"jpeg segment length past the end",
       Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF}) + std::string(30, 0), "image/jpeg", 0, 0},
      {"jpeg zero segment lengths", Bytes({0xFF, 0xD8}) + std::string(5000, 0), "image/jpeg", 0, 0},
      {"text", "hello world, no image here", "", 0, 0},
      {"empty", "", "", 0, 0},
  };
  int i = 0;
  for (const auto& c : cases) {
    std::string file = dir.Write("f" + std::to_string(i++), c.bytes);
    TTvImageInfo info = GetImageInfo(file);
    EXPECT_TRUE(info.Ok) << c.name;
    EXPECT_EQ(info.MimeType, c.type) << c.name;
    EXPECT_EQ(info.Width, c.width) << c.name;
    EXPECT_EQ(info.Height, c.height) << c.name;
  }
}

TEST(GetImageInfo, WhatCannotBeOpenedIsNotOk) {
  test::TScratchDir dir;
  EXPECT_FALSE(GetImageInfo(dir.Path + "/missing.gif").Ok);
  EXPECT_FALSE(GetImageInfo(dir.Path).Ok);  // a folder is no file
  EXPECT_FALSE(GetImageInfo("").Ok);
}

}  // namespace
}  // namespace qv
