// The help as the console prints it: the program's description (the
// overview), each command with its arguments, description and options, the
// help and version options, and the footer (the notes).
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace zantrel {

class HelpFormatter final : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override;
};

} // namespace zantrel
