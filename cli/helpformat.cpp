#include "cli/helpformat.h"

#include <sstream>

namespace zantrel {

namespace {

inline constexpr std::size_t Width = 79; // the longest line, its newline not counted
inline constexpr std::size_t DescriptionIndent = 6;
inline constexpr std::size_t OptionIndent = 8;
inline constexpr std::size_t OptionColumn = 31; // where an option's description starts

// Fills words into lines of at most Width characters; a newline in text
// always breaks. first starts the first line (its indent, or an option's name
// padded to the column); the others start with indent spaces.
std::string Wrap(const std::string& text, std::string first, std::size_t indent) {
    std::string out;
    std::string line = std::move(first);
    bool lineEmpty = true;
    std::istringstream paragraphs(text);
    std::string paragraph;
    bool firstParagraph = true;
    while (std::getline(paragraphs, paragraph)) {
        if (!firstParagraph) {
            out += line + "\n";
            line.assign(indent, ' ');
            lineEmpty = true;
        }
        firstParagraph = false;
        std::istringstream words(paragraph);
        std::string word;
        while (words >> word) {
            if (!lineEmpty && line.size() + 1 + word.size() > Width) {
                out += line + "\n";
                line.assign(indent, ' ');
                lineEmpty = true;
            }
            if (!lineEmpty)
                line += ' ';
            line += word;
            lineEmpty = false;
        }
    }
    return out + line + "\n";
}

bool IsFlag(const CLI::Option* option) { return option->get_expected_max() == 0; }

// "  open FLASH [EXPORT]", "  settings [OPTIONS]", "  info FLASH [--json]"
std::string UsageLine(const CLI::App* command) {
    std::string line = "  " + command->get_name();
    bool valueOptions = false;
    for (const CLI::Option* option : command->get_options()) {
        const std::string name = option->get_name(option->get_positional(), false);
        if (option->get_positional())
            line += option->get_required() ? " " + name : " [" + name + "]";
        else if (IsFlag(option))
            line += " [" + name + "]";
        else
            valueOptions = true;
    }
    if (valueOptions)
        line += " [OPTIONS]";
    return line + "\n";
}

std::string OptionLines(const CLI::Option* option) {
    std::string head(OptionIndent, ' ');
    head += option->get_name(false, false);
    if (!IsFlag(option))
        head += " " + option->get_type_name();
    std::string out;
    if (head.size() + 1 > OptionColumn) {
        // Too long for the column: the description starts on the next line.
        out = head + "\n";
        head.assign(OptionColumn, ' ');
    } else {
        head.resize(OptionColumn, ' ');
    }
    return out + Wrap(option->get_description(), head, OptionColumn);
}

} // namespace

std::string HelpFormatter::make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const {
    std::string out = app->get_description();
    out += "\nCommands:\n";
    for (const CLI::App* command : app->get_subcommands({})) {
        out += UsageLine(command);
        out += Wrap(command->get_description(), std::string(DescriptionIndent, ' '),
                    DescriptionIndent);
        for (const CLI::Option* option : command->get_options())
            if (!option->get_positional())
                out += OptionLines(option);
    }
    for (const CLI::Option* flag : {app->get_help_ptr(), app->get_version_ptr()}) {
        if (!flag)
            continue;
        out += "  " + flag->get_name(false, false) + "\n";
        out +=
            Wrap(flag->get_description(), std::string(DescriptionIndent, ' '), DescriptionIndent);
    }
    return out + "\n" + app->get_footer();
}

} // namespace zantrel
