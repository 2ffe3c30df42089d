// Concurrent evaluation through the loaded plug-in: several threads evaluating distinct records
// at once get exactly what one thread gets, bit for bit. Built in the tsan preset, the same test
// shows that the evaluations share nothing writable (ThreadSanitizer reports any race).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/stress/stress_records.h"

namespace surf_stress {
namespace {

constexpr int kRecords = 20000;
constexpr int kThreads = 4;
constexpr uint64_t kSeed = 0x5eed0f5a7f5e0001ull;

// Every thread walks all records in its own order (a stride coprime to the record count, from
// its own start), so that at any moment the threads are in different parts of the table.
constexpr int kStrides[kThreads] = {1, 7, 13, 19};

// What the output records hold before a call: a signalling not-a-number no evaluation makes.
constexpr uint64_t kPoison = 0x7FF4DEADBEEF0001ull;

double poison() {
  double v;
  std::memcpy(&v, &kPoison, sizeof v);
  return v;
}

struct Results {
  std::vector<double> in;   // the records after the call (snapped)
  std::vector<double> out;  // kCoatingOutputCount doubles per record
};

Results evaluateSerially(const std::vector<double> &records) {
  Results r{records,
            std::vector<double>(static_cast<size_t>(kRecords) * kCoatingOutputCount, poison())};
  for (int i = 0; i < kRecords; ++i)
    loadedPlugin().evaluate(&r.in[static_cast<size_t>(i) * kInputStride], nullptr, nullptr,
                            nullptr, &r.out[static_cast<size_t>(i) * kCoatingOutputCount]);
  return r;
}

// Releases all workers at once.
class StartGate {
 public:
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }
  void open() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

int countMismatches(const Results &serial, const Results &threaded, int thread) {
  int mismatches = 0;
  for (int i = 0; i < kRecords; ++i) {
    for (int k = 0; k < kInputStride; ++k) {
      const size_t at = static_cast<size_t>(i) * kInputStride + k;
      if (bits(serial.in[at]) != bits(threaded.in[at]) && ++mismatches <= 5)
        ADD_FAILURE() << "thread " << thread << ", record " << i << ", input element " << k;
    }
    for (int k = 0; k < kCoatingOutputCount; ++k) {
      const size_t at = static_cast<size_t>(i) * kCoatingOutputCount + k;
      if (bits(serial.out[at]) != bits(threaded.out[at]) && ++mismatches <= 5)
        ADD_FAILURE() << "thread " << thread << ", record " << i << ", output element " << k
                      << ": " << threaded.out[at] << " instead of " << serial.out[at];
    }
  }
  return mismatches;
}

TEST(ConcurrentEvaluation, FourThreadsGiveTheSerialResultsBitForBit) {
  const LoadedPlugin &plugin = loadedPlugin();
  ASSERT_NE(nullptr, plugin.evaluate) << plugin.error;
  ASSERT_NE(nullptr, plugin.init);

  const std::vector<double> records = makeRecords(kRecords, kSeed);
  const Results serial = evaluateSerially(records);

  std::vector<Results> threaded(kThreads);
  for (Results &r : threaded) {
    r.in = records;
    r.out.assign(static_cast<size_t>(kRecords) * kCoatingOutputCount, poison());
  }
  StartGate gate;
  std::atomic<int> finished{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      gate.wait();
      Results &r = threaded[t];
      for (int n = 0; n < kRecords; ++n) {
        const size_t i = (static_cast<size_t>(n) * kStrides[t] + t * (kRecords / kThreads)) %
                         kRecords;
        plugin.evaluate(&r.in[i * kInputStride], nullptr, nullptr, nullptr,
                        &r.out[i * kCoatingOutputCount]);
      }
      finished.fetch_add(1);
    });
  }
  gate.open();
  // The host may hand over a new pointer while other threads evaluate: nothing in an
  // evaluation reads it, so this is no race (ThreadSanitizer would say otherwise).
  int handedOver = 0;
  while (finished.load() < kThreads) {
    plugin.init(&handedOver);
    ++handedOver;
    std::this_thread::yield();
  }
  for (std::thread &w : workers) w.join();

  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(0, countMismatches(serial, threaded[t], t));
}

// The records really are distinct and the serial run really changed every output element, so
// the comparison above compares something.
TEST(ConcurrentEvaluation, RecordsAreDistinctAndEveryOutputIsWritten) {
  const LoadedPlugin &plugin = loadedPlugin();
  ASSERT_NE(nullptr, plugin.evaluate) << plugin.error;
  const std::vector<double> records = makeRecords(kRecords, kSeed);
  const std::vector<double> again = makeRecords(kRecords, kSeed);
  ASSERT_EQ(records.size(), again.size());
  EXPECT_EQ(0, std::memcmp(records.data(), again.data(), records.size() * sizeof(double)))
      << "the generator must be deterministic";
  std::vector<uint64_t> wavelengths;
  for (int i = 0; i < kRecords; ++i)
    wavelengths.push_back(bits(records[static_cast<size_t>(i) * kInputStride]));
  std::sort(wavelengths.begin(), wavelengths.end());
  const int distinct = static_cast<int>(
      std::unique(wavelengths.begin(), wavelengths.end()) - wavelengths.begin());
  EXPECT_GT(distinct, kRecords * 99 / 100);

  const Results serial = evaluateSerially(records);
  int unwritten = 0, finiteReflectances = 0;
  for (int i = 0; i < kRecords; ++i) {
    const double *out = &serial.out[static_cast<size_t>(i) * kCoatingOutputCount];
    for (int k = 0; k < kCoatingOutputCount; ++k)
      if (bits(out[k]) == kPoison) ++unwritten;
    if (std::isfinite(out[kOutReflectanceS])) ++finiteReflectances;
  }
  EXPECT_EQ(0, unwritten);
  EXPECT_EQ(kRecords, finiteReflectances);
}

}  // namespace
}  // namespace surf_stress
