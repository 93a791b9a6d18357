// The portable scanner must scan exactly as glibc's getopt does: both are run over the same
// argument vectors, generated from words that exercise grouping, values, permutation and "--".
#include "platform/portable_option_scanner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace quillmot {
namespace {

constexpr char kLetters[] = ":Q:S:q:i:d:r:vhHF:";

struct Scan {
  std::vector<std::string> steps;  // what each call returned
  std::vector<std::string> words;  // the vector afterwards, reordered
  int index = 0;
  bool operator==(const Scan&) const = default;
};

std::string step(int result, const char* value, int letter) {
  std::string s = std::to_string(result);
  if (result == '?' || result == ':') s += " letter " + std::to_string(letter);
  if (value != nullptr) s += std::string(" value [") + value + "]";
  return s;
}

template <typename Next>
Scan scan(std::vector<std::string> words, Next next_of) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  Scan result;
  result.index = next_of(static_cast<int>(words.size()), argv.data(), &result.steps);
  for (size_t i = 0; i < words.size(); ++i) result.words.push_back(argv[i]);
  return result;
}

Scan with_glibc(const std::vector<std::string>& words) {
  return scan(words, [](int argc, char** argv, std::vector<std::string>* steps) {
    opterr = 0;
    optind = 0;
    for (int n = 0; n < 64; ++n) {
      optarg = nullptr;
      int result = getopt(argc, argv, kLetters);
      steps->push_back(step(result, optarg, optopt));
      if (result == -1) break;
    }
    return optind;
  });
}

Scan with_portable(const std::vector<std::string>& words, bool posixly_correct) {
  return scan(words, [&](int argc, char** argv, std::vector<std::string>* steps) {
    PortableOptionScanner scanner(argc, argv, kLetters, posixly_correct);
    for (int n = 0; n < 64; ++n) {
      int result = scanner.next();
      steps->push_back(step(result, scanner.value(), scanner.letter()));
      if (result == -1) break;
    }
    return scanner.index();
  });
}

TEST(PortableOptionScanner, ScansAsGlibcDoes) {
  const std::vector<std::string> pieces = {
      "-Q",    "i",     "-vh", "-x", "--", "-",       "",  "staff", "-d;", "-Qd", "-F",    "a",
      "-\xff", "--all", "-?",  "-q", "-S", "\\\\srv", "b", "-hv",   "-:",  "-Fx", "-r\\n", "-\x01"};
  std::mt19937 random(20261208);
  for (bool posixly_correct : {false, true}) {
    if (posixly_correct)
      setenv("POSIXLY_CORRECT", "", 1);
    else
      unsetenv("POSIXLY_CORRECT");
    for (int round = 0; round < 20000; ++round) {
      std::vector<std::string> words = {"quillmot"};
      const int count = static_cast<int>(random() % 7);
      for (int i = 0; i < count; ++i) words.push_back(pieces[random() % pieces.size()]);
      Scan expected = with_glibc(words);
      Scan got = with_portable(words, posixly_correct);
      if (!(got == expected)) {
        std::string shown;
        for (const std::string& w : words) shown += "[" + w + "]";
        FAIL() << shown << (posixly_correct ? " with" : " without") << " POSIXLY_CORRECT";
      }
    }
  }
  unsetenv("POSIXLY_CORRECT");
}

TEST(PortableOptionScanner, AnEmptyArgumentVectorEndsAtOnce) {
  // argv holds only its null terminator: nothing after it may be read.
  std::vector<char*> argv = {nullptr};
  PortableOptionScanner scanner(0, argv.data(), kLetters, false);
  EXPECT_EQ(scanner.next(), -1);
  EXPECT_EQ(scanner.next(), -1);
  EXPECT_EQ(scanner.value(), nullptr);
}

}  // namespace
}  // namespace quillmot
