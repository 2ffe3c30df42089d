// surf-golden: the plug-in's exact results for a few hundred telling ray hits, committed per
// dataset (tests/golden/<dataset>.hits), and checked bit for bit.
//
//   surf-golden check <plugin> <file>   evaluate every hit in the file, compare with its bits
//   surf-golden write <plugin> <file>   evaluate today's hits, print what changed, rewrite
//
// The file holds each hit's input, so the check does not depend on how the hits were drawn.
// When a compiler, library or flag change moves a bit, the check names the hit and the element;
// the file is rewritten only by `write`, run deliberately (see docs/exactness.md).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/hit_families.h"
#include "tests/support/host_record.h"
#include "tests/support/loaded_plugin.h"
#include "tests/support/named_hits.h"

namespace surf_test {
namespace {

constexpr int kHitsPerFamily = 10;
constexpr uint64_t kSeed = 0x90d0e4b175eed001ull;
constexpr int kLeast = 200;  // a file with fewer hits is not the committed one

// Input elements a hit sets; after the call only the vectors may have changed.
constexpr int kInputs[] = {0, 5, 6, 7, 12, 13, 14, 15, 16, 17};

struct Entry {
  std::string name;
  HostCall before;  // the call as it is made
  HostCall after;   // as the plug-in left it
};

// The named hits, then kHitsPerFamily of each family.
std::vector<Entry> todaysHits() {
  std::vector<Entry> entries;
  for (const NamedHit &h : namedHits()) entries.push_back(Entry{h.name, hostCall(h.hit), {}});
  for (int f = 0; f < kHitFamilyCount; ++f) {
    Random rng(kSeed + static_cast<uint64_t>(f));
    for (int n = 0; n < kHitsPerFamily; ++n)
      entries.push_back(Entry{std::string(kHitFamilies[f].name) + "-" + std::to_string(n),
                              hostCall(kHitFamilies[f].draw(rng)), {}});
  }
  return entries;
}

void evaluate(const LoadedPlugin &plugin, Entry &e) {
  e.after = e.before;
  e.after.returned = plugin.evaluate(e.after.in, nullptr, nullptr, nullptr, e.after.out);
}

// One line: the name, the ten inputs, the return value, the nine vector elements after the
// call and the 41 outputs, each as the sixteen hexadecimal digits of its bits.
std::string line(const Entry &e) {
  std::string s = e.name;
  auto put = [&](double v) { s += " " + hex16(v); };
  for (int k : kInputs) put(e.before.in[k]);
  put(e.after.returned);
  for (int k : kInputs)
    if (k != kInWavelength) put(e.after.in[k]);
  for (int k = 0; k < kCoatingOutputCount; ++k) put(e.after.out[k]);
  return s;
}

bool parse(const std::string &text, Entry &e) {
  const size_t space = text.find(' ');
  if (space == std::string::npos) return false;
  e.name = text.substr(0, space);
  const char *p = text.c_str() + space;
  double v[10 + 1 + 9 + kCoatingOutputCount];
  for (double &x : v)
    if (!readHex16(p, x)) return false;
  if (*p != '\0') return false;
  Hit hit{v[0], {v[1], v[2], v[3]}, {v[4], v[5], v[6]}, {v[7], v[8], v[9]}};
  e.before = hostCall(hit);
  e.after = e.before;
  e.after.returned = v[10];
  for (int k = 1, at = 11; k < 10; ++k, ++at) e.after.in[kInputs[k]] = v[at];
  for (int k = 0; k < kCoatingOutputCount; ++k) e.after.out[k] = v[20 + k];
  return true;
}

bool read(const char *path, std::vector<Entry> &entries) {
  std::ifstream in(path);
  if (!in) return false;
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    if (text.empty() || text[0] == '#') continue;
    Entry e;
    if (!parse(text, e)) {
      std::printf("%s:%d: not a hit line\n", path, number);
      return false;
    }
    entries.push_back(e);
  }
  return true;
}

// Prints each element in which `now` differs from `was`, inputs included; returns how many.
int report(const Entry &was, const Entry &now, const char *wasName, const char *nowName) {
  std::vector<std::string> found = differences(was.before, now.before, wasName, nowName);
  for (const std::string &d : differences(was.after, now.after, wasName, nowName))
    found.push_back(d);
  for (const std::string &d : found) std::printf("  %s %s\n", now.name.c_str(), d.c_str());
  return static_cast<int>(found.size());
}

int check(const LoadedPlugin &plugin, const char *path) {
  std::vector<Entry> expected;
  if (!read(path, expected)) {
    std::printf("surf-golden: cannot read %s\n", path);
    return 1;
  }
  int failed = 0;
  for (const Entry &e : expected) {
    Entry now{e.name, e.before, {}};
    evaluate(plugin, now);
    // Elements the file does not list keep what hostCall put there: the host's data and the
    // output record's unwritten elements past the 41.
    failed += report(e, now, "expected", "got") != 0;
  }
  const int passed = static_cast<int>(expected.size()) - failed;
  if (expected.size() < static_cast<size_t>(kLeast)) {
    std::printf("surf-golden: %s holds %zu hits, fewer than %d\n", path, expected.size(), kLeast);
    ++failed;
  }
  std::printf("surf-golden check %s: %d passed, %d failed\n", path, passed, failed);
  return failed == 0 ? 0 : 1;
}

int write(const LoadedPlugin &plugin, const char *path) {
  std::vector<Entry> old;
  const bool hadFile = read(path, old);
  std::map<std::string, const Entry *> byName;
  for (const Entry &e : old) byName[e.name] = &e;

  std::vector<Entry> entries = todaysHits();
  int changed = 0, added = 0;
  for (Entry &e : entries) {
    evaluate(plugin, e);
    const auto was = byName.find(e.name);
    if (was == byName.end()) {
      ++added;
      if (hadFile) std::printf("  %s: new hit\n", e.name.c_str());
      continue;
    }
    changed += report(*was->second, e, "was", "now") != 0;
    byName.erase(was);
  }
  for (const auto &gone : byName) std::printf("  %s: no longer in the set\n", gone.first.c_str());

  const std::string temporary = std::string(path) + ".new";
  std::ofstream out(temporary);
  out << "# surf-golden: the plug-in's exact results on x86-64 Linux for the coating compiled in.\n"
         "# Rewrite only deliberately, with surf-golden write (see docs/exactness.md). One hit a\n"
         "# line: name; wavelength, ray, reference, normal; return value; ray, reference and\n"
         "# normal after the call; the 41 outputs; each the 16 hexadecimal digits of its bits.\n";
  for (const Entry &e : entries) out << line(e) << "\n";
  out.close();
  if (!out || std::rename(temporary.c_str(), path) != 0) {
    std::remove(temporary.c_str());
    std::printf("surf-golden: cannot write %s\n", path);
    return 1;
  }
  std::printf("surf-golden: wrote %s: %zu hits; %d changed, %d new, %zu dropped\n", path,
              entries.size(), changed, hadFile ? added : 0, byName.size());
  return 0;
}

}  // namespace
}  // namespace surf_test

int main(int argc, char **argv) {
  if (argc != 4 || (std::strcmp(argv[1], "check") != 0 && std::strcmp(argv[1], "write") != 0)) {
    std::fprintf(stderr, "usage: surf-golden check|write <plugin> <file>\n");
    return 2;
  }
  const surf_test::LoadedPlugin plugin = surf_test::loadPlugin(argv[2]);
  if (!plugin.ok()) {
    std::printf("surf-golden: %s\n", plugin.error.c_str());
    return 1;
  }
  return std::strcmp(argv[1], "check") == 0 ? surf_test::check(plugin, argv[3])
                                            : surf_test::write(plugin, argv[3]);
}
