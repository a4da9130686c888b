// tiffview convert: decode one image and write it as PBM or PNG.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "DirectoryWalker.h"
#include "ImageWriter.h"
#include "LogWatch.h"
#include "OutputFile.h"
#include "TiffView.h"
#include "ToolText.h"

namespace tvtool {

namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

bool ParseFormat(const std::string& name, ImageFormat& format) {
    if (name == "pbm") {
        format = ImageFormat::Pbm;
        return true;
    }
    if (name == "png") {
        format = ImageFormat::Png;
        return true;
    }
    return false;
}

// Pixel density for the PNG header, when the file states it in a real unit.
void SetDensity(const std::string& input, const TiffInfo_t& info, ImageHeader& header) {
    const DirectoryFacts facts = WalkDirectories(input);
    const std::uint32_t unit = facts.ok && facts.hasResolutionUnit ? facts.resolutionUnit : 2;
    const double perMetre = unit == 2 ? 1 / 0.0254 : unit == 3 ? 100.0 : 0.0;
    header.xDotsPerMetre = info.XResolution * perMetre;
    header.yDotsPerMetre = info.YResolution * perMetre;
}

struct Warning {
    std::uint32_t first;
    std::uint32_t last;
    std::uint32_t code;
};

void AddWarning(std::vector<Warning>& warnings, std::uint32_t line, std::uint32_t code) {
    if (!warnings.empty() && warnings.back().code == code && warnings.back().last + 1 == line)
        warnings.back().last = line;
    else
        warnings.push_back(Warning{line, line, code});
}

}  // namespace

int RunConvert(const Args& args) {
    Args positional;
    std::string output;
    std::string formatName;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsDone && IsHelpOption(arg)) {
            std::fputs(kConvertHelp, stdout);
            return kExitOk;
        }
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && (arg == "-o" || arg == "--output" || arg == "--format")) {
            if (i + 1 >= args.size()) return UsageError("convert", "option '" + arg + "' needs a value");
            (arg == "--format" ? formatName : output) = args[++i];
        } else if (!optionsDone && arg.rfind("--output=", 0) == 0) {
            output = arg.substr(9);
        } else if (!optionsDone && arg.rfind("--format=", 0) == 0) {
            formatName = arg.substr(9);
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            return UsageError("convert", "unknown option '" + arg + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) return UsageError("convert", "no input file given");
    // The older form names the output as a second operand.
    if (positional.size() == 2 && output.empty()) output = positional[1];
    else if (positional.size() > 1) return UsageError("convert", "one input file at a time");
    if (output.empty()) return UsageError("convert", "no output file given (use -o OUT)");
    const std::string& input = positional[0];

    ImageFormat format = ImageFormat::Pbm;
    if (!formatName.empty()) {
        if (!ParseFormat(formatName, format))
            return UsageError("convert", "unknown format '" + formatName + "' (pbm or png)");
    } else if (EndsWith(output, ".png")) {
        format = ImageFormat::Png;
    } else if (!EndsWith(output, ".pbm")) {
        return UsageError("convert", "cannot tell the format from '" + output + "': use .pbm or .png, or --format");
    }
    std::unique_ptr<ImageWriter> writer = MakeImageWriter(format);
    if (!writer) {
        std::fprintf(stderr, "tiffview convert: %s output is not available: this tiffview was built without libpng\n",
                     FormatName(format));
        return kExitUsage;
    }

    LogWatch logs;
    logs.Mark();
    CTiffView view;
    std::uint32_t rc = view.OpenFile(input.c_str());
    if (rc != TV_OK) {
        std::fprintf(stderr, "tiffview convert: %s: %s\n", input.c_str(), DescribeResult(rc).c_str());
        view.CloseFile();
        return kExitFailed;
    }
    TiffInfo_t info;
    view.GetImageInfo(&info);
    ImageHeader header;
    header.width = info.Width;
    header.length = info.Length;
    SetDensity(input, info, header);

    OutputFile out;
    std::string error;
    if (!out.Open(output, error)) {
        std::fprintf(stderr, "tiffview convert: cannot write %s: %s\n", output.c_str(), error.c_str());
        view.CloseFile();
        return kExitOutput;
    }
    if (!writer->Begin(out.Stream(), header)) {
        std::fprintf(stderr, "tiffview convert: cannot write %s: %s\n", output.c_str(), writer->Error().c_str());
        view.CloseFile();
        return kExitOutput;
    }

    std::vector<std::uint8_t> line((static_cast<std::size_t>(info.Width) + 7) / 8);
    std::vector<Warning> warnings;
    for (std::uint32_t y = 0; y < info.Length; ++y) {
        rc = view.ReadALine(line.data());
        if (rc != TV_OK && !IsLineWarning(rc)) {
            std::fprintf(stderr, "tiffview convert: %s: line %u: %s\n", input.c_str(), static_cast<unsigned>(y),
                         DescribeResult(rc).c_str());
            std::fprintf(stderr, "tiffview convert: %s not written\n", output.c_str());
            out.Abandon();
            view.CloseFile();
            return kExitFailed;
        }
        if (rc != TV_OK) AddWarning(warnings, y, rc);
        if (!writer->WriteLine(line.data())) {
            std::fprintf(stderr, "tiffview convert: cannot write %s: %s\n", output.c_str(), writer->Error().c_str());
            out.Abandon();
            view.CloseFile();
            return kExitOutput;
        }
    }
    view.CloseFile();
    if (!writer->Finish() || !out.Commit(error)) {
        if (error.empty()) error = writer->Error();
        std::fprintf(stderr, "tiffview convert: cannot write %s: %s\n", output.c_str(), error.c_str());
        out.Abandon();
        return kExitOutput;
    }

    for (const Warning& w : warnings) {
        if (w.first == w.last)
            std::fprintf(stderr, "tiffview convert: %s: warning: line %u: %s\n", input.c_str(),
                         static_cast<unsigned>(w.first), DescribeResult(w.code).c_str());
        else
            std::fprintf(stderr, "tiffview convert: %s: warning: lines %u-%u: %s\n", input.c_str(),
                         static_cast<unsigned>(w.first), static_cast<unsigned>(w.last), DescribeResult(w.code).c_str());
    }
    const std::vector<std::string> newLogs = logs.NewLogs();
    for (const std::string& log : newLogs)
        std::fprintf(stderr, "tiffview convert: %s: diagnostic log written: %s\n", input.c_str(), log.c_str());
    return warnings.empty() && newLogs.empty() ? kExitOk : kExitFailed;
}

}  // namespace tvtool
