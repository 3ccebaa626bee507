#include "cli/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace cli {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseNumber(const char* text, int32_t min, int32_t max, int32_t* value) {
  if (!text) return false;
  const bool negative = *text == '-' && min < 0;
  const char* p = negative ? text + 1 : text;
  if (!IsDigit(*p)) return false;
  // Accumulated in 64 bits and stopped past 32 bits, so no input overflows.
  int64_t v = 0;
  for (; IsDigit(*p); ++p) {
    v = v * 10 + (*p - '0');
    if (v > (int64_t(1) << 32)) return false;
  }
  if (*p) return false;
  if (negative) v = -v;
  if (v < min || v > max) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

bool ParseSize(const char* text, int32_t min, int32_t max, int32_t* width,
               int32_t* height) {
  if (!text) return false;
  const char* x = std::strchr(text, 'x');
  if (!x || x == text) return false;
  const std::string w(text, x);
  int32_t ww, hh;
  if (!ParseNumber(w.c_str(), min, max, &ww) ||
      !ParseNumber(x + 1, min, max, &hh))
    return false;
  *width = ww;
  *height = hh;
  return true;
}

bool ParseList(const char* text,
               bool (*item)(const std::string& part, void* context),
               void* context) {
  if (!text || !*text) return false;
  for (const char* start = text;;) {
    const char* end = std::strchr(start, ',');
    const std::string part = end ? std::string(start, end) : std::string(start);
    if (part.empty() || !item(part, context)) return false;
    if (!end) return true;
    start = end + 1;
  }
}

const char* ProgramName(int argc, char** argv) {
  if (argc < 1 || !argv || !argv[0] || !*argv[0]) return "intro";
  const char* slash = std::strrchr(argv[0], '/');
  return slash && slash[1] ? slash + 1 : argv[0];
}

bool FinishOutput(const char* program) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int why = flushed ? 0 : errno;
  if (flushed && !std::ferror(stdout)) return true;
  if (why)
    std::fprintf(stderr, "%s: write error on standard output: %s\n", program,
                 std::strerror(why));
  else
    std::fprintf(stderr, "%s: write error on standard output\n", program);
  return false;
}

bool EnterDataFolder(const char* program, const char* dir) {
  if (!dir || chdir(dir) == 0) return true;
  std::fprintf(stderr, "%s: cannot use the data folder %s: %s\n",
               program ? program : "intro", dir, std::strerror(errno));
  return false;
}

void PrintVersion(const char* program) {
  std::printf("%s (tandrix) %s\n", program, INTRO_VERSION);
}

Parser::Parser(const char* program, const char* usage)
    : program_(program ? program : "intro"), usage_(usage ? usage : "\n") {}

void Parser::Flag(const char* name, bool* on) {
  try {
    options_.push_back({name, Kind::Flag, nullptr, on, 0, 0, nullptr});
  } catch (const std::bad_alloc&) {
    full_ = true;
  }
}

void Parser::Number(const char* name, int32_t min, int32_t max,
                    int32_t* value) {
  try {
    options_.push_back({name, Kind::Number, nullptr, value, min, max, nullptr});
  } catch (const std::bad_alloc&) {
    full_ = true;
  }
}

void Parser::Text(const char* name, const char* expects, const char** value) {
  try {
    options_.push_back({name, Kind::Text, expects, value, 0, 0, nullptr});
  } catch (const std::bad_alloc&) {
    full_ = true;
  }
}

void Parser::Custom(const char* name, const char* expects,
                    bool (*parse)(const char*, void*), void* context) {
  try {
    options_.push_back({name, Kind::Custom, expects, context, 0, 0, parse});
  } catch (const std::bad_alloc&) {
    full_ = true;
  }
}

void Parser::PrintUsage(FILE* out) const {
  std::fprintf(out, "usage: %s%s", program_, usage_);
}

int Parser::Mistake(const std::string& line) const {
  std::fprintf(stderr, "%s: %s\n", program_, line.c_str());
  PrintUsage(stderr);
  return 2;
}

int Parser::Refuse(const char* reason) const {
  try {
    return Mistake(reason);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: %s\n", program_, reason);
    return 2;
  }
}

bool Parser::Accept(const Option& option, const char* value) {
  switch (option.kind) {
    case Kind::Flag:
      *static_cast<bool*>(option.target) = true;
      return true;
    case Kind::Number:
      return ParseNumber(value, option.min, option.max,
                         static_cast<int32_t*>(option.target));
    case Kind::Text:
      if (!value || !*value) return false;
      *static_cast<const char**>(option.target) = value;
      return true;
    case Kind::Custom:
      return value && option.parse(value, option.target);
  }
  return false;
}

bool Parser::Parse(int argc, char** argv, int* status) {
  if (full_) {
    std::fprintf(stderr, "%s: out of memory reading the command line\n",
                 program_);
    *status = 1;
    return false;
  }
  try {
    for (int i = 1; i < argc; ++i) {
      const char* arg = argv[i];
      if (std::strcmp(arg, "--help") == 0 ||
          std::strcmp(arg, "--version") == 0) {
        if (arg[2] == 'h')
          PrintUsage(stdout);
        else
          PrintVersion(program_);
        *status = FinishOutput(program_) ? 0 : 1;
        return false;
      }
      const char* equals = std::strchr(arg, '=');
      const std::string name =
          equals && arg[0] == '-' ? std::string(arg, equals) : std::string(arg);
      const Option* option = nullptr;
      for (const Option& o : options_)
        if (name == o.name) option = &o;
      if (!option) {
        *status = Mistake(std::string(arg[0] == '-' ? "unknown option: "
                                                    : "unexpected argument: ") +
                          arg);
        return false;
      }
      const char* value = nullptr;
      if (option->kind == Kind::Flag) {
        if (equals) {
          *status = Mistake(name + " takes no value");
          return false;
        }
      } else if (equals) {
        value = equals + 1;
      } else if (i + 1 < argc) {
        value = argv[++i];
      }
      if (!Accept(*option, value)) {
        std::string expects;
        if (option->kind == Kind::Number)
          expects = "a number from " + std::to_string(option->min) + " to " +
                    std::to_string(option->max);
        else
          expects = option->expects ? option->expects : "a value";
        *status = Mistake(name + " takes " + expects +
                          (value && *value ? std::string(", not ") + value : ""));
        return false;
      }
    }
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory reading the command line\n",
                 program_);
    *status = 1;
    return false;
  }
  return true;
}

}  // namespace cli
