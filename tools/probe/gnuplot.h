// gnuplot.h - running gnuplot on a script the probe writes, with no user text reaching a shell
// or the script unescaped.
#ifndef SURF_PROBE_GNUPLOT_H
#define SURF_PROBE_GNUPLOT_H

#include <string>

namespace probe {

// The Debian package that provides a gnuplot without X11, named in the message when gnuplot
// is missing.
extern const char *const kGnuplotPackage;

// The first executable regular file called `program` (program.exe on Windows) in the
// directories of `searchPath` (a PATH value), or empty.
std::string findOnPath(const std::string &program, const std::string &searchPath);

// The gnuplot to run: `chosen` (--gnuplot) when given, which must be an executable regular
// file (InputError otherwise), or the one on PATH (ToolFailure naming the package when there
// is none).
std::string gnuplotProgram(const std::string &chosen);

// `text` as a gnuplot string in single quotes, in which gnuplot reads no escapes: a quote is
// doubled, and control characters (which would end the line, and with it the command) are
// written as visible escapes.
std::string gnuplotQuoted(const std::string &text);

// `text` quoted as above and marked `noenhanced`: drawn as it stands, with no ^ _ { } @ & ~ of a
// file or dataset name read as sub- and superscripts. For titles and labels; the terminal stays
// enhanced for the tic formats that write powers of ten (10^{%L}).
std::string gnuplotText(const std::string &text);

// `path` as gnuplot's `set output` must receive it: absolute (a name starting with '|' would
// make gnuplot start a shell command) and quoted. Throws InputError naming `option` when the
// path holds a control character, which gnuplot cannot be given without changing the name.
std::string gnuplotOutputPath(const std::string &path, const std::string &option);

// Runs `program` (no shell) with `script` on its standard input and waits for it. Throws
// ToolFailure when it cannot be started, stops reading before the end of the script, or exits
// with a status other than 0 or by a signal.
void runGnuplot(const std::string &program, const std::string &script);

}  // namespace probe

#endif
