// Everything Save As would refuse in the work files, found in one pass
// before anything is asked or written; the windows' grids mark the same,
// item by item, through ListWorkItems.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "shell/workview.h"

namespace zantrel {

struct WorkProblem {
    long number = 0;                // the item's number; 0 for a file of the whole DRM
    std::vector<std::string> files; // the file or files it is about, full paths
    std::string text;               // "5.bmp: 32-bit colour; it must be ..."
};

// Image 1's work files as Save As takes them, every problem at once: missing
// files, picture BMPs and raw pictures that do not fit their slots, icons
// edited into something that is neither GIF nor BMP, a refused "descr.dat"
// or "start.bin", a "header.bin" of the wrong size. Empty when Save As can
// compile. Throws IoError when a file that is there cannot be read.
std::vector<WorkProblem> CheckWorkFiles();

// Save As's refusal of problems: one "Error" box with each problem on a line
// of its own and the folders they are in.
void ShowWorkProblems(const std::vector<WorkProblem>& problems);

// The pass behind both: image's items, each with its problem, and every
// problem in order (the files of the whole DRM first, number 0, then the
// items'). strict: a file that cannot be read throws IoError; otherwise its
// item gets that as its problem. marks: each item's edited mark is told in
// the same pass (a code group that cannot be read throws IoError).
struct WorkScan {
    std::vector<WorkItem> items;
    std::vector<WorkProblem> problems;
    // With the marks: the originals are known.
    bool originalsKnown = false;
};
WorkScan ScanWorkFiles(int image, bool strict, EditedMarks marks = EditedMarks::Skipped);

// The same pass (never strict) in steps, for a window that shows a large DRM
// before all its files are read.
class WorkScanner {
public:
    WorkScanner(int image, EditedMarks marks);
    ~WorkScanner();
    WorkScanner(const WorkScanner&) = delete;
    WorkScanner& operator=(const WorkScanner&) = delete;
    // image's items as its folders' listings name them, no file opened, so
    // quick at any count: each with its slot and the file compilation would
    // take, not yet checked (WorkItem::checked false); the whole DRM's
    // problems only where its layout cannot be read. Once, before Step,
    // which goes on from what it read.
    WorkScan Listed();
    // Examines up to count more items; true once every item is.
    bool Step(std::size_t count);
    // The scan, once Step has said so.
    WorkScan Done();

private:
    class Pass;
    std::unique_ptr<Pass> pass_;
};

} // namespace zantrel
