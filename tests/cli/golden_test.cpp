// The console's golden cases: each file in tests/cli/cases is a transcript of
// zantrel-cli runs in a fresh start folder. The runner replays its steps and
// writes the transcript anew (each run's output and status, then every file
// the start folder holds); the case passes when that is the file's own text.
// ZANTREL_UPDATE_GOLDEN=1 writes it into the file instead (cases/README.md).
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <regex>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/unicode.h"

#include "support/process.h"
#include "support/tempfolder.h"

namespace zantrel {
namespace {

namespace fs = std::filesystem;

const std::string CasesFolder = ZANTREL_CLI_CASES;

// The lines a run writes back; every other line of a case is a step, kept as it is.
bool IsResult(const std::string& line) {
    for (const char* key :
         {"stdout:", "stderr:", "status:", "file:", "folder:", "stdout\\", "stderr\\"})
        if (line.starts_with(key))
            return true;
    return false;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// Words split at spaces; "..." holds spaces and \r \n \t \\ \" \xNN escapes.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] != '"') {
            const std::size_t end = std::min(line.find(' ', i), line.size());
            words.push_back(line.substr(i, end - i));
            i = end;
            continue;
        }
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] != '\\' || i + 1 == line.size()) {
                word += line[i];
                continue;
            }
            const char c = line[++i];
            if (c == 'x' && i + 2 < line.size()) {
                word += static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                word += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
            }
        }
        words.push_back(word);
        ++i;
    }
    return words;
}

// The case's folders by their placeholders, longest path first.
class Places {
public:
    void Add(const std::string& name, const std::string& path) {
        const std::string native = Utf8FromPath(PathFromUtf8(path).lexically_normal());
        places_.push_back({name, native});
        std::sort(places_.begin(), places_.end(),
                  [](const auto& a, const auto& b) { return a.second.size() > b.second.size(); });
    }
    // "{start}/png" with the folder's path.
    std::string Expand(std::string word) const {
        for (const auto& [name, path] : places_)
            for (std::size_t at; (at = word.find(name)) != std::string::npos;)
                word.replace(at, name.size(), path);
        return word;
    }
    // The folders' paths as placeholders, also where JSON doubles their
    // backslashes; the rest of such a path written with "/", so that Windows
    // prints what Linux prints.
    std::string Placeholders(std::string text) const {
        for (const auto& [name, path] : places_) {
            std::string doubled;
            for (const char c : path)
                doubled += c == '\\' ? "\\\\" : std::string(1, c);
            for (const bool json : {true, false}) {
                const std::string& form = json ? doubled : path;
                for (std::size_t at = 0; (at = text.find(form, at)) != std::string::npos;) {
                    text.replace(at, form.size(), name);
                    at += name.size();
                    for (; PathSeparator == '\\' && at < text.size() && text[at] > ' ' &&
                           text[at] != '"';
                         ++at) {
                        if (text[at] != '\\')
                            continue;
                        if (json && text.compare(at, 2, "\\\\") == 0)
                            text.erase(at, 1);
                        text[at] = '/';
                    }
                }
            }
        }
        return text;
    }

private:
    std::vector<std::pair<std::string, std::string>> places_;
};

// One output as result lines: "stdout: text", a final line without its
// newline followed by "stdout\ no newline at end".
void Render(std::string& out, const std::string& key, const std::string& text) {
    const std::vector<std::string> lines = Lines(text);
    for (const std::string& line : lines)
        out += key + ":" + (line.empty() ? "" : " " + line) + "\n";
    if (!text.empty() && text.back() != '\n')
        out += key + "\\ no newline at end\n";
}

// A short text as a quoted word, escaped as Words reads it back; nullopt
// for bytes a reader would rather see as a hash.
std::optional<std::string> Quoted(const std::string& text) {
    if (text.size() > 120)
        return std::nullopt;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == '\t')
            quoted += c == '\r' ? "\\r" : c == '\n' ? "\\n" : "\\t";
        else if (c < ' ' || c > '~')
            return std::nullopt;
        else
            quoted += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    }
    return quoted + "\"";
}

// The time a save wrote into a flash header, as a run prints it, is "{date}":
// it is the one output that differs from run to run.
std::string Undated(const std::string& text) {
    static const std::regex date(
        R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun) [A-Z][a-z]+ [0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4})");
    return std::regex_replace(text, date, "{date}");
}

// "file: path" for every file below folder, with its text when it is short,
// else its size and a hash; "folder: path/" for every empty folder. The
// case's folders in a file are placeholders; a flash header's date field,
// the time of the save, counts as zeros.
void RenderFiles(std::string& out, const std::string& folder, const Places& places) {
    std::vector<std::string> lines;
    const fs::path root = PathFromUtf8(folder);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name =
            Utf8FromPath(entry.path().lexically_relative(root).generic_u8string());
        if (entry.is_directory()) {
            if (fs::is_empty(entry.path()))
                lines.push_back("folder: " + name + "/");
            continue;
        }
        const std::vector<std::uint8_t> bytes = test::ReadAll(JoinPath(folder, name));
        std::string text = places.Placeholders({bytes.begin(), bytes.end()});
        if ((name.ends_with(".shx") || name.ends_with("header.bin")) && text.size() >= 384)
            std::fill(text.begin() + 320, text.begin() + 384, '\0');
        if (const auto quoted = Quoted(text)) {
            lines.push_back("file: " + name + " " + *quoted);
            continue;
        }
        std::uint32_t hash = 2166136261u; // FNV-1a
        for (const char c : text)
            hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
        char figures[32];
        std::snprintf(figures, sizeof figures, " %zu %08x", text.size(), hash);
        lines.push_back("file: " + name + figures);
    }
    // By path, folders among files.
    auto path = [](const std::string& line) { return line.substr(line.find(' ') + 1); };
    std::sort(lines.begin(), lines.end(),
              [&](const std::string& a, const std::string& b) { return path(a) < path(b); });
    for (const std::string& line : lines)
        out += line + "\n";
}

// The samples, written once per process when a case names them.
const std::string& SamplesFolder() {
    static const struct Samples {
        std::string temp = CreateTempFolder("zantrel-samples");
        std::string folder = JoinPath(temp, "samples");
        Samples() {
            fs::create_directory(PathFromUtf8(folder));
            const auto gen = test::RunProgram(folder, "zantrel-samplegen", {folder});
            EXPECT_EQ(gen.status, 0) << gen.err;
        }
        ~Samples() { test::RemoveTree(temp); }
    } samples;
    return samples.folder;
}

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(PathFromUtf8(CasesFolder), ec))
        if (entry.is_regular_file() && entry.path().extension() != ".md")
            names.push_back(Utf8FromPath(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, Case) {
    const std::string path = JoinPath(CasesFolder, GetParam());
    const std::string expected = test::ReadText(path);
    test::TempFolder temp;
    const std::string start = temp / "start";
    fs::create_directory(PathFromUtf8(start));
    Places places;
    places.Add("{start}", start);
    places.Add("{inputs}", JoinPath(CasesFolder, "inputs"));
    if (expected.find("{samples}") != std::string::npos)
        places.Add("{samples}", SamplesFolder());
    auto at = [&](const std::string& word) {
        const std::string expanded = places.Expand(word);
        return PathFromUtf8(expanded).is_absolute() ? expanded
                                                    : JoinPath(start, test::NativePath(expanded));
    };

    std::string actual;
    for (const std::string& line : Lines(expected)) {
        if (IsResult(line))
            continue;
        actual += line + "\n";
        std::vector<std::string> words = Words(line);
        if (words.empty() || line[0] == '#')
            continue;
        const bool pinned = words[0] == "$";
        if (pinned)
            words.erase(words.begin());
        const std::string verb = words.empty() ? "" : words[0];
        const std::size_t count = words.size();
        if (verb == "only" && count == 2 && words[1] == "linux") {
            if (PathSeparator == '\\')
                GTEST_SKIP() << "a case for Linux only";
        } else if (verb == "mkdir" && count == 2) {
            fs::create_directories(PathFromUtf8(at(words[1])));
        } else if (verb == "copy" && count == 3) {
            test::CopyFileOver(at(words[1]), at(words[2]));
        } else if (verb == "write" && count == 3) {
            test::WriteText(at(words[1]), words[2]);
        } else if (verb == "cut" && count == 3) {
            std::vector<std::uint8_t> bytes = test::ReadAll(at(words[1]));
            bytes.resize(std::min<std::size_t>(bytes.size(), std::stoul(words[2])));
            test::WriteAll(at(words[1]), bytes);
        } else if (verb == "remove" && count == 2) {
            if (fs::is_directory(PathFromUtf8(at(words[1]))))
                test::RemoveTree(at(words[1]));
            else
                fs::remove(PathFromUtf8(at(words[1])));
        } else if (verb == "zantrel-cli") {
            std::vector<std::string> args;
            for (std::size_t i = 1; i < count; ++i)
                args.push_back(places.Expand(words[i]));
            const test::ProgramResult r = test::RunProgram(start, verb, args);
            if (pinned) {
                Render(actual, "stdout", Undated(places.Placeholders(r.out)));
                Render(actual, "stderr", Undated(places.Placeholders(r.err)));
                actual += "status: " + std::to_string(r.status) + "\n";
            } else {
                ASSERT_EQ(r.status, 0) << line << "\n" << r.out << r.err;
            }
        } else {
            FAIL() << "not a step of a case: " << line;
        }
    }
    RenderFiles(actual, start, places);

    if (std::getenv("ZANTREL_UPDATE_GOLDEN") && actual != expected) {
        test::WriteText(path, actual);
        std::printf("[ updated  ] %s\n", path.c_str());
        return;
    }
    EXPECT_EQ(expected, actual) << "ZANTREL_UPDATE_GOLDEN=1 rewrites " << path;
}

INSTANTIATE_TEST_SUITE_P(Console, Golden, testing::ValuesIn(CaseNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
} // namespace zantrel
