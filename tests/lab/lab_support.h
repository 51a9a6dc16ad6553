#pragma once
// What the lab's tests know of the images their discs were made from.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "records/disk_info_store.h"

namespace lab {

inline bool InLab() { return std::getenv("TORVEX_LAB") != nullptr; }

// The image files of the scenario, as the guest sees them.
inline std::string Image(const std::string& name) { return std::string(std::getenv("TORVEX_LAB_WORK")) + "/" + name; }

// The 2,048-byte sector of an image.
inline std::string Sector(const std::string& image, int64_t n) {
  std::ifstream in(image, std::ios::binary);
  in.seekg(n * 2048);
  std::string s(2048, '\0');
  in.read(s.data(), 2048);
  return s;
}

// The serial Windows gives a CD: four byte-wide sums over the descriptor
// that it mounts (the Joliet one), the first bytes' sum in the top byte.
inline uint32_t DescriptorSerial(const std::string& d) {
  uint8_t sum[4] = {0, 0, 0, 0};
  for (std::size_t i = 0; i < d.size(); ++i) sum[i % 4] = static_cast<uint8_t>(sum[i % 4] + static_cast<uint8_t>(d[i]));
  return uint32_t{sum[0]} << 24 | uint32_t{sum[1]} << 16 | uint32_t{sum[2]} << 8 | sum[3];
}
inline std::string JolietDescriptor(const std::string& image) {
  for (int n = 16; n < 32; ++n) {
    const std::string s = Sector(image, n);
    if (s[0] == 2 && s.compare(1, 5, "CD001") == 0 && s[88] == '%' && s[89] == '/') return s;
    if (static_cast<uint8_t>(s[0]) == 255) break;
  }
  return {};
}

inline std::string TvdSection(const engine::ResumeRecord& r, const std::string& label) {
  char head[64];
  std::snprintf(head, sizeof head, "\r\n\r\n[%08x, %s]\r\n", r.serial, label.c_str());
  unsigned char bytes[records::kResumeRecordSize];
  records::EncodeResumeRecord(r, bytes);
  return head + std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
}

// Sees a thread of this program sit in the kernel (state D) for half a
// second: a reader stuck in a stalled read. Poll() every 50 ms.
class StuckThread {
 public:
  bool Poll() {
    std::map<std::string, int> now;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
      std::ifstream in(task.path() / "stat");
      const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const auto end = stat.rfind(')');
      const std::string tid = task.path().filename();
      if (end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'D') now[tid] = seen_[tid] + 1;
    }
    seen_ = now;
    for (const auto& [tid, polls] : seen_)
      if (polls >= 10) return true;
    return false;
  }

 private:
  std::map<std::string, int> seen_;
};

}  // namespace lab
