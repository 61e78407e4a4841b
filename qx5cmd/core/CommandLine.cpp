#include "qx5cmd/core/CommandLine.h"

#include <cstdio>

#include "qx5cmd/core/Text.h"

namespace qx5cmd {
namespace {

constexpr const char* kInfoTests[] = {"GetQX5FirmwareVersion", "GetDeviceName",
                                      "GetDeviceRange",        "GetDeviceRanges",
                                      "GetCalibrationDate",    "GetPressure"};

class Parser {
 public:
  Parser(const std::vector<std::string>& words, const TestRegistry& registry, Session& session,
         RunList& runList)
      : words_(words),
        registry_(registry),
        session_(session),
        options_(session.options),
        runList_(runList) {}

  std::optional<int> parse() {
    if (!words_.empty()) session_.programName = words_[0];
    for (pos_ = 1; pos_ < words_.size();) {
      const std::string& word = words_[pos_++];
      std::optional<int> stop;
      if (word[0] == '-' || word[0] == '/') {
        stop = option(word);
      } else if (const aTest* prototype = registry_.find(word)) {
        stop = test(*prototype);
      } else if (equalsIgnoreCase(word, "info")) {
        stop = info();
      } else if (equalsIgnoreCase(word, "logging")) {
        stop = logging();
      } else {
        std::fprintf(stderr, "%s: invalid argument '%s' %s\n", session_.programName.c_str(),
                     word.c_str(), "no such test");
        stop = usage(nullptr);
      }
      if (stop) return stop;
    }
    return std::nullopt;
  }

 private:
  int usage(const char* message) { return printUsage(registry_, session_, message); }

  std::optional<int> option(const std::string& word) {
    for (std::size_t i = 1; i < word.size(); ++i) {
      char letter = word[i];
      switch (letter) {
        case 'q':
          options_.quiet = true;
          continue;
        case 'r':
          options_.registryInfo = true;
          continue;
        case 's':
          options_.showStats = true;
          continue;
        case 'u':
          options_.usbCpuVersion = true;
          continue;
        case 'x':
          options_.stopOnFailure = true;
          continue;
        case 'l':
          options_.reloadLibrary = true;
          continue;
        case '?':
        case 'h':
          return usage(nullptr);
        case 'd':
        case 'n':
        case 'g':
        case 'v':
        case 'j':
          return valueOption(letter, value(word, i + 1));
        default:
          return std::nullopt;  // an unknown letter ends the word
      }
    }
    return std::nullopt;
  }

  static std::string value(const std::string& word, std::size_t from) {
    if (from < word.size() && word[from] == '=') ++from;
    return word.substr(from);
  }

  std::optional<int> valueOption(char letter, const std::string& text) {
    int number = 0;
    switch (letter) {
      case 'd':
        options_.delayMs = leadingDecimalInt(text);
        break;
      case 'n':
        options_.loops = leadingDecimalInt(text);
        break;
      case 'g':
        if (!parseDecimalInt(text, number)) return usage("bad gauge number");
        options_.gaugeSerial = number;
        break;
      case 'j':
        if (!parseDecimalInt(text, number) || number < 1)
          return usage("bad number of gauges at once (-j=<n>, n of 1 or more)");
        options_.jobs = number;
        break;
      case 'v':
        if (text.empty()) {
          options_.verbosity = 5;
        } else {
          if (!parseDecimalInt(text, number)) return usage("bad verbosity level");
          options_.verbosity = number;
        }
        break;
    }
    return std::nullopt;
  }

  aTest& append(const aTest& prototype) {
    runList_.push_back(prototype.clone());
    aTest& instance = *runList_.back();
    instance.arguments.clear();
    return instance;
  }

  std::string wordAt(std::size_t i) const { return i < words_.size() ? words_[i] : std::string(); }

  std::optional<int> test(const aTest& prototype) {
    aTest& instance = append(prototype);
    int index = 0;
    bool ok = true;
    bool more = true;
    std::string text = wordAt(pos_);
    while (instance.parseArgument(index, ok, more, text)) {
      instance.arguments.push_back(text);
      if (pos_ < words_.size()) ++pos_;
      ++index;
      if (!more) break;
      text = wordAt(pos_);
    }
    if (!ok) {
      std::fprintf(stderr, " invalid argument to test %s\n", instance.name);
      return usage(nullptr);
    }
    return std::nullopt;
  }

  std::optional<int> info() {
    for (const char* name : kInfoTests) {
      const aTest* prototype = registry_.find(name);
      if (!prototype) {
        std::fprintf(stderr, "can't find test %s\n", name);
        return 0;
      }
      append(*prototype);
    }
    return std::nullopt;
  }

  std::optional<int> logging() {
    if (pos_ >= words_.size()) {
      std::fprintf(stderr, " missing argument to logging");
      return usage(nullptr);
    }
    const std::string& next = words_[pos_++];
    if (equalsIgnoreCase(next, "off")) {
      options_.loggingOff = true;
      return std::nullopt;
    }
    options_.logFile = next;
    if (pos_ >= words_.size()) {
      std::fprintf(stderr, " missing level to logging");
      return usage(nullptr);
    }
    options_.logLevel = words_[pos_++];
    return std::nullopt;
  }

  const std::vector<std::string>& words_;
  const TestRegistry& registry_;
  Session& session_;
  Options& options_;
  RunList& runList_;
  std::size_t pos_ = 1;
};

}  // namespace

std::optional<int> parseCommandLine(const std::vector<std::string>& words,
                                    const TestRegistry& registry, Session& session,
                                    RunList& runList) {
  return Parser(words, registry, session, runList).parse();
}

int printUsage(const TestRegistry& registry, const Session& session, const char* message) {
  const char* program = session.programName.c_str();
  if (message) std::fprintf(stderr, "%s: %s\n", program, message);
  std::fprintf(stderr, "%s compiled on Jul 20 2010\n\n", program);
  std::fprintf(stderr, "Command line program to exercise the Orvane\n");
  std::fprintf(stderr, "Usage: %s [<options>] <tests>\n\n", program);
  std::fprintf(stderr,
               "Options:\n   -?\n   -h  this message\n   -q  don't display system information\n"
               "   -r  also display registry info\n   -s  display stats\n"
               "   -n=<loopcount> (0=forever, default is 1)\n"
               "   -d=<delay> delay in milliseconds between calls (default=%d)\n"
               "   -g=<gauge> only test gauge with the specified serial number\n"
               "   -v=<level> set the verbosity level (5=first & info, 4=info, 2=errors) -- only "
               "affects this program\n"
               "   -x exit if there is an error reading a gauge\n"
               "   -l reload the qx5dll.dll each loop\n"
               "   -u check the usb cpu version as the first command\n"
               "   -j=<n> run the tests (or the station) on up to <n> gauges at once (default 1)\n",
               session.options.delayMs);
  std::fprintf(stderr, "Tests:\n");
  for (const auto& test : registry.tests()) {
    std::fprintf(stderr, "   %s", test->name);
    for (const std::string& argument : test->arguments)
      std::fprintf(stderr, " <%s>", argument.c_str());
    std::fprintf(stderr, "\n");
    if (test->description && *test->description)
      std::fprintf(stderr, "      %s\n", test->description);
  }
  std::fprintf(stderr,
               "   info\n      gets some quick info about each gauge\n   logging off\n"
               "      disable logging\n   logging <file> <level>\n"
               "      enable logging to <file> with verbosity <level>\n");
  return message ? -1 : 0;
}

}  // namespace qx5cmd
