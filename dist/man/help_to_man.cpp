// help_to_man: writes a manual page from a template and a program's --help text,
// so the page's synopsis and tables have one source, the program itself.
//
//   help_to_man TEMPLATE OUTPUT VERSION PROGRAM [ARGUMENT]...
//
// runs PROGRAM ARGUMENT... (normally --help) and reads its output as:
//   "Usage: " line (the synopsis), the paragraphs up to the first heading (the
//   introduction), then sections: a heading is a line at column 0 that ends in
//   ':'; in a section, an indented line opens an entry (term, two spaces or
//   more, description), a line indented to the entry's description continues it.
// The template is troff with these lines in it: "@SYNOPSIS@", "@INTRO@", and
// "@SECTION Heading@" for each help section whose heading starts with Heading;
// "@VERSION@" is replaced anywhere. A help section that the template does not
// place, or a place no section fills, is an error: the page never drops an entry.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::string term;
    std::size_t column = 0;  // where the description starts; 0 before it does
    std::size_t indent = 0;
    std::vector<std::string> description;
};

struct Section {
    std::string heading;  // without its ':'
    std::vector<std::string> text;
    std::vector<Entry> entries;
    bool placed = false;
};

struct Help {
    std::string synopsis;
    std::vector<std::string> intro;  // an empty string between paragraphs
    std::vector<Section> sections;
};

std::size_t indentOf(const std::string& line) {
    const auto first = line.find_first_not_of(' ');
    return first == std::string::npos ? line.size() : first;
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

Help parse(const std::string& text) {
    Help help;
    std::istringstream in(text);
    std::string line;
    Section* section = nullptr;
    Entry* entry = nullptr;
    bool first = true;
    while (std::getline(in, line)) {
        if (first && line.starts_with("Usage: ")) {
            help.synopsis = trimmed(line.substr(7));
            first = false;
            continue;
        }
        first = false;
        if (line.find_first_not_of(' ') == std::string::npos) {
            entry = nullptr;
            if (section == nullptr && !help.intro.empty()) help.intro.emplace_back();
            continue;
        }
        const std::size_t indent = indentOf(line);
        if (indent == 0 && line.back() == ':') {
            help.sections.push_back({line.substr(0, line.size() - 1), {}, {}, false});
            section = &help.sections.back();
            entry = nullptr;
        } else if (section == nullptr || indent == 0) {
            (section == nullptr ? help.intro : section->text).push_back(trimmed(line));
        } else if (entry != nullptr && entry->column != 0 && indent >= entry->column) {
            entry->description.push_back(trimmed(line));
        } else if (entry != nullptr && entry->column == 0 && indent > entry->indent) {
            entry->column = indent;
            entry->description.push_back(trimmed(line));
        } else {
            Entry added;
            added.indent = indent;
            const std::string rest = line.substr(indent);
            const auto gap = rest.find("  ");
            added.term = trimmed(rest.substr(0, gap));
            if (gap != std::string::npos) {
                const auto start = rest.find_first_not_of(' ', gap);
                added.column = indent + start;
                added.description.push_back(trimmed(rest.substr(start)));
            }
            section->entries.push_back(added);
            entry = &section->entries.back();
        }
    }
    while (!help.intro.empty() && help.intro.back().empty()) help.intro.pop_back();
    return help;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    return out;
}

// A text line that troff must not read as a request.
std::string textLine(std::string line) {
    if (!line.empty() && (line.front() == '.' || line.front() == '\'')) line.insert(0, "\\&");
    return line;
}

// Options and literal words bold, placeholders (words with a capital) italic;
// in the synopsis every word after the program name that is no option is one.
std::string styled(const std::string& text, bool synopsis) {
    const auto isWordChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '/';
    };
    std::string out;
    bool firstWord = true;
    for (std::size_t i = 0; i < text.size();) {
        if (!isWordChar(text[i])) {
            out += escaped(std::string(1, text[i++]));
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && isWordChar(text[end])) ++end;
        const std::string word = text.substr(i, end - i);
        bool italic = false;
        for (const char c : word) italic = italic || std::isupper(static_cast<unsigned char>(c));
        if (synopsis && !firstWord) italic = true;
        if (word.front() == '-') italic = false;
        out += (italic ? "\\fI" : "\\fB") + escaped(word) + "\\fR";
        firstWord = false;
        i = end;
    }
    return out;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) out += (out.empty() ? "" : " ") + line;
    return out;
}

void writeSection(std::ostream& out, const Section& section) {
    if (!section.text.empty()) out << ".PP\n" << textLine(escaped(joined(section.text))) << "\n";
    for (const auto& entry : section.entries) {
        out << ".TP\n" << textLine(styled(entry.term, false)) << "\n";
        out << textLine(escaped(joined(entry.description))) << "\n";
    }
}

bool render(const std::string& templateText, Help& help, const std::string& version,
            const std::string& templateName, std::ostream& out) {
    std::istringstream in(templateText);
    std::string line;
    bool ok = true;
    while (std::getline(in, line)) {
        for (auto at = line.find("@VERSION@"); at != std::string::npos;
             at = line.find("@VERSION@")) {
            line.replace(at, 9, version);
        }
        if (line == "@SYNOPSIS@") {
            out << textLine(styled(help.synopsis, true)) << "\n";
        } else if (line == "@INTRO@") {
            for (const auto& paragraph : help.intro) {
                out << (paragraph.empty() ? ".PP" : textLine(escaped(paragraph))) << "\n";
            }
        } else if (line.starts_with("@SECTION ") && line.ends_with("@")) {
            const std::string prefix = line.substr(9, line.size() - 10);
            bool found = false;
            for (auto& section : help.sections) {
                if (section.heading.starts_with(prefix) && !section.placed) {
                    writeSection(out, section);
                    section.placed = found = true;
                }
            }
            if (!found) {
                std::cerr << templateName << ": no help section starts with \"" << prefix << "\"\n";
                ok = false;
            }
        } else {
            out << line << "\n";
        }
    }
    for (const auto& section : help.sections) {
        if (!section.placed) {
            std::cerr << templateName << ": the help section \"" << section.heading
                      << ":\" has no place in the manual page; add a line \"@SECTION "
                      << section.heading << "@\"\n";
            ok = false;
        }
    }
    return ok;
}

std::string quoted(const std::string& arg) {
    std::string out = "'";
    for (const char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::cerr << "usage: help_to_man TEMPLATE OUTPUT VERSION PROGRAM [ARGUMENT]...\n";
        return 2;
    }
    std::ifstream templateFile(argv[1]);
    std::stringstream templateText;
    templateText << templateFile.rdbuf();
    if (!templateFile) {
        std::cerr << "help_to_man: cannot read " << argv[1] << "\n";
        return 1;
    }
    std::string command;
    for (int i = 4; i < argc; ++i) command += (i > 4 ? " " : "") + quoted(argv[i]);
    std::string helpText;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        std::cerr << "help_to_man: cannot run " << command << "\n";
        return 1;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        helpText.append(buffer, n);
    }
    if (::pclose(pipe) != 0 || helpText.empty()) {
        std::cerr << "help_to_man: " << command << " failed or printed nothing\n";
        return 1;
    }
    Help help = parse(helpText);
    std::ostringstream page;
    if (!render(templateText.str(), help, argv[3], argv[1], page)) return 1;
    std::ofstream out(argv[2]);
    out << page.str();
    return out ? 0 : 1;
}
