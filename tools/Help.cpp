#include <cstdio>

#include "Commands.h"

namespace tvtool {

const char kMainHelp[] =
    "Usage: tiffview [--strict] <command> [options] [files]\n"
    "\n"
    "Inspects, checks and converts bi-level (1 bit per pixel) TIFF images\n"
    "with the tiffview library, every page of them.\n"
    "\n"
    "Commands:\n"
    "  info FILE...            describe each page (add --strips for the strip or tile table)\n"
    "  convert FILE -o OUT     write the pages as PBM (.pbm) or PNG (.png)\n"
    "  check FILE...           decode every line of every page and report faults\n"
    "  help [COMMAND]          show this help, or a command's\n"
    "\n"
    "Options:\n"
    "  --strict                read with the library's strict fax/scanner profile\n"
    "                          (first page only, resolution tags and LONG strip\n"
    "                          tables required, no tiles); also after a command.\n"
    "                          Without it every bi-level image libtiff reads is read.\n"
    "  -h, --help              show help (also after a command)\n"
    "  --version               show the tool's and the library's version\n"
    "\n"
    "Exit status:\n"
    "  0  success: every page of every file was read without a fault\n"
    "  1  a file or page could not be read, or decoded with faults\n"
    "  2  wrong usage\n"
    "  3  an output file could not be written\n";

const char kInfoHelp[] =
    "Usage: tiffview info [--strips] [--strict] FILE...\n"
    "\n"
    "Prints one block per file: its byte order and number of pages, then for\n"
    "each page its width, length, compression, photometric interpretation,\n"
    "resolution and unit, fill order, orientation, Group 3 or 4 options where\n"
    "set, and the strip or tile layout. A file or page the library refuses\n"
    "gets its result code in hex, the code's name and the library's message\n"
    "instead; the other files and pages are still described.\n"
    "\n"
    "Options:\n"
    "  --strips    also list every strip (offset, stored bytes, rows) or tile\n"
    "              (offset, stored bytes, position of its top left pixel)\n"
    "  --strict    read with the library's strict profile\n"
    "  -h, --help  show this help\n"
    "\n"
    "Exit status: 0 when every page of every file was read, 1 when any could\n"
    "not be, 2 on wrong usage.\n";

const char kConvertHelp[] =
    "Usage: tiffview convert FILE -o OUT [--page N] [--format pbm|png] [--strict]\n"
    "       tiffview convert FILE OUT\n"
    "\n"
    "Decodes FILE and writes it as binary PBM (P4) or 1-bit PNG, black\n"
    "pixels black whatever the file's photometric interpretation, rows as\n"
    "stored (the Orientation tag is reported by info, not applied). The\n"
    "format follows OUT's extension (.pbm or .png) unless --format names it.\n"
    "\n"
    "Pages, numbered from 1:\n"
    "  --page N             writes page N alone, to OUT.\n"
    "  a single-page file   is written to OUT.\n"
    "  several pages, PNG   one file each: OUT with -N before its extension\n"
    "                       (out.png: out-1.png, out-2.png, ...).\n"
    "  several pages, PBM   every page in OUT, one P4 image after another, as\n"
    "                       netpbm reads them (pamsplit splits them).\n"
    "  OUT holding %d       is a pattern: %d becomes the page number, and\n"
    "                       every page gets its own file, PBM too\n"
    "                       (page-%d.pbm: page-1.pbm, page-2.pbm, ...).\n"
    "\n"
    "Every file is written to a temporary file beside it and renamed only\n"
    "when all pages are complete: a failed conversion leaves no file, partial\n"
    "or not, and older files of the same names stay as they were. Lines that\n"
    "arrive with a warning (a strip decoded short or long) are written as\n"
    "delivered and the warnings are reported; a page that cannot be opened or\n"
    "a line that cannot be decoded stops the conversion and nothing is\n"
    "written (--page converts the other pages one at a time).\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT    the image to write, or the pattern of the pages' files\n"
    "  --page N            convert page N only (from 1)\n"
    "  --format pbm|png    the output format, whatever OUT's extension\n"
    "  --strict            read with the library's strict profile (first page only)\n"
    "  -h, --help          show this help\n"
    "\n"
    "Exit status: 0 on a clean conversion, 1 when FILE or a page could not be\n"
    "read or had faults (the output is still written when every line was\n"
    "delivered), 2 on wrong usage, 3 when an output file could not be written.\n";

const char kCheckHelp[] =
    "Usage: tiffview check [--progress | --no-progress] [--strict] FILE...\n"
    "\n"
    "Decodes every line of every page of each file and prints one verdict a\n"
    "file: \"FILE: OK (N lines)\", \"FILE: OK (P pages, N lines)\" for a file of\n"
    "several pages, or \"FILE: FAILED\" followed by what went wrong. For a file\n"
    "of several pages that is each page's verdict, \"page N: OK (...)\" or\n"
    "\"page N: FAILED\"; for a failed page, each line whose result was not\n"
    "TV_OK (consecutive lines with the same code are shown as one range;\n"
    "lines are numbered from 0 within their page, as in the diagnostic log)\n"
    "and, with --strict, whether the library wrote a diagnostic log: only the\n"
    "strict profile writes them, into log/TiffParse/ beside the tiffview\n"
    "executable, when a strip decodes to the wrong size. A file is OK only\n"
    "when every page is; a file that cannot be read does not stop the others.\n"
    "\n"
    "Options:\n"
    "  --progress     show a progress bar, even when not on a terminal\n"
    "  --no-progress  never show the progress bar\n"
    "  --strict       read with the library's strict profile, so that a file\n"
    "                 of several pages fails on every page but the first\n"
    "  -h, --help     show this help\n"
    "\n"
    "With more than one file and standard output on a terminal a progress\n"
    "bar is shown; piped, the output is plain lines.\n"
    "\n"
    "Exit status: 0 when every page of every file decoded cleanly, 1 when\n"
    "any failed, 2 on wrong usage.\n";

int UsageError(const std::string& command, const std::string& message) {
    const std::string prefix = command.empty() ? "tiffview" : "tiffview " + command;
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", prefix.c_str(), message.c_str(), prefix.c_str());
    return kExitUsage;
}

bool IsHelpOption(const std::string& arg) { return arg == "-h" || arg == "--help"; }

}  // namespace tvtool
