#include "shell/take.h"

#include <algorithm>

#include "base/commit.h"
#include "base/fileio.h"
#include "base/paths.h"
#include "base/uiops.h"

#include "imaging/picture.h"

#include "drm/drmpack.h"

#include "shell/edit.h"
#include "shell/history.h"
#include "shell/state.h"
#include "shell/summary.h"
#include "shell/workclaim.h"

namespace zantrel {

namespace {

constexpr std::string_view Caption = "Take";
// The pairs the question shows; the rest are counted.
constexpr std::size_t ShownPairs = 4;

const WorkItem* Find(const WorkView& view, long number) {
    for (const WorkItem& item : view.items)
        if (item.number == number)
            return &item;
    return nullptr;
}

struct Take {
    const WorkItem* from = nullptr;
    const WorkItem* into = nullptr;
    std::optional<Picture> now;
    Picture after;
    bool copy = false; // a picture file of the same form: its bytes, as Port takes them
};

std::string Items(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " item" : " items");
}

// The pairs one above the other, each as it is and as it would be.
Picture Shown(const std::vector<Take>& takes) {
    std::vector<Picture> rows;
    for (std::size_t i = 0; i < takes.size() && i < ShownPairs; ++i)
        rows.push_back(SideBySide(takes[i].now, takes[i].after, 96));
    Picture canvas = FilledPicture(rows.front().width,
                                   rows.front().height * static_cast<int>(rows.size()), 0xFFFFFFFF);
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (int y = 0; y < rows[r].height; ++y)
            std::copy_n(&rows[r].At(0, y), rows[r].width,
                        &canvas.At(0, static_cast<int>(r) * rows[r].height + y));
    return canvas;
}

bool SameBytes(const std::string& a, const std::string& b) {
    auto x = BinaryFile::TryOpenRead(a);
    auto y = BinaryFile::TryOpenRead(b);
    if (!x || !y || x->Size() != y->Size())
        return false;
    std::vector<std::uint8_t> p(64 * 1024), q(64 * 1024);
    for (;;) {
        const std::size_t n = x->Read(p);
        if (n != y->Read(q) ||
            !std::equal(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(n), q.begin()))
            return false;
        if (n == 0)
            return true;
    }
}

} // namespace

std::optional<std::string> WhyNotTaken(const WorkItem& from, const WorkItem* into) {
    const std::string number = std::to_string(from.number);
    if (!into)
        return FlashFileName(1) + " has no item " + number;
    const std::string name = "item " + number + " of " + FlashFileName(2);
    if (from.picture != into->picture)
        return name + " is " + (from.picture ? "a picture" : "an icon") + ", item " +
               std::to_string(into->number) + " of " + FlashFileName(1) + " " +
               (into->picture ? "a picture" : "an icon");
    if (from.picture && (from.slotWidth != into->slotWidth || from.slotHeight != into->slotHeight))
        return name + " is " + std::to_string(from.slotWidth) + " x " +
               std::to_string(from.slotHeight) + " pixels, item " + std::to_string(into->number) +
               " of " + FlashFileName(1) + " " + std::to_string(into->slotWidth) + " x " +
               std::to_string(into->slotHeight);
    if (from.path.empty() || from.fault == WorkFault::Missing)
        return name + " has no file";
    return std::nullopt;
}

bool ItemsDiffer(const WorkItem& one, const WorkItem* two) {
    if (!two)
        return true;
    if (!one.path.empty() && !two->path.empty() && one.bytes == two->bytes &&
        SameBytes(one.path, two->path))
        return false;
    const std::optional<Picture> a = ItemPicture(one);
    const std::optional<Picture> b = ItemPicture(*two);
    if (!a || !b)
        return a.has_value() != b.has_value();
    return a->width != b->width || a->height != b->height || a->pixels != b->pixels;
}

std::optional<std::vector<long>> ParseItemList(const std::string& text) {
    std::vector<long> numbers;
    if (text == "all")
        return numbers;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma - start);
        const auto number = ParseIntegerToken(part);
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos || !number ||
            *number < 1 || *number > MaxDrmItems + 3)
            return std::nullopt;
        if (std::find(numbers.begin(), numbers.end(), *number) == numbers.end())
            numbers.push_back(static_cast<long>(*number));
        if (comma == std::string::npos)
            return numbers;
        start = comma + 1;
    }
}

CommandResult TakeItems(const std::vector<long>& numbers, std::optional<long> to) {
    if (const std::optional<Outcome> refused = RefuseWorkFolderForSession()) {
        ShowMessage(refused->message, std::string(Caption));
        return CommandResult::Refused;
    }
    const WorkView one = ListWorkItems(1);
    const WorkView two = ListWorkItems(2);
    for (const WorkView* view : {&one, &two})
        if (!view->error.empty() && view->items.empty()) {
            ShowMessage(view->error, std::string(Caption));
            return CommandResult::Refused;
        }
    if (to && numbers.size() != 1) {
        ShowMessage("Only one item can be taken into another number.", std::string(Caption));
        return CommandResult::Refused;
    }
    // Every item named must fit its slot: one that does not stops the lot.
    std::vector<Take> takes;
    std::vector<std::string> refusals;
    const bool all = numbers.empty();
    std::vector<long> wanted = numbers;
    if (all)
        for (const WorkItem& item : two.items)
            wanted.push_back(item.number);
    for (long number : wanted) {
        const WorkItem* from = Find(two, number);
        if (!from) {
            refusals.push_back(FlashFileName(2) + " has no item " + std::to_string(number));
            continue;
        }
        const WorkItem* into = Find(one, to.value_or(number));
        auto why = WhyNotTaken(*from, into);
        std::optional<Picture> picture;
        if (!why && !(picture = ItemPicture(*from)))
            why = "item " + std::to_string(number) + " of " + FlashFileName(2) + " cannot be read";
        if (why) {
            if (!all)
                refusals.push_back(*why);
            continue;
        }
        Take take{from, into, ItemPicture(*into), FittedForItem(*into, *picture)};
        if (take.now && take.now->width == take.after.width &&
            take.now->height == take.after.height && take.now->pixels == take.after.pixels)
            continue; // it shows that already
        take.copy = from->picture && !into->path.empty() && into->fault == WorkFault::None &&
                    UpperExtension(from->path) == UpperExtension(into->path) &&
                    from->bytes == into->bytes;
        takes.push_back(std::move(take));
    }
    if (!refusals.empty()) {
        std::string list;
        for (std::size_t i = 0; i < refusals.size() && i < 10; ++i)
            list += (i ? "\n" : "") + refusals[i];
        if (refusals.size() > 10)
            list += "\n... and " + std::to_string(refusals.size() - 10) + " more";
        ShowMessage(refusals.size() == 1 ? "That item cannot be taken."
                                         : "These items cannot be taken.",
                    std::string(Caption), list + "\nNothing was changed.");
        return CommandResult::Refused;
    }
    if (takes.empty()) {
        ShowMessage(std::string(all ? "No item of " : "The items of ") + FlashFileName(2) +
                        (all ? " would change " : " show what they show already in ") +
                        FlashFileName(1) + ".",
                    std::string(Caption), "Nothing was changed.");
        return CommandResult::Completed;
    }
    std::vector<long> fitted;
    for (const Take& take : takes)
        if (!take.from->picture && (take.from->fileWidth != take.after.width ||
                                    std::abs(take.from->fileHeight) != take.after.height))
            fitted.push_back(take.into->number);
    PictureQuestion question;
    question.caption = std::string(Caption);
    const std::string intoName =
        FileNamePart(takes.front().into->path.empty() ? std::to_string(takes.front().into->number)
                                                      : takes.front().into->path);
    if (takes.size() == 1)
        question.text = "Use item " + std::to_string(takes.front().from->number) + " of " +
                        FlashFileName(2) + " as " + intoName + " of " + FlashFileName(1) + "?";
    else
        question.text =
            "Use " + Items(takes.size()) + " of " + FlashFileName(2) + " in " + FlashFileName(1) +
            "?" +
            (takes.size() > ShownPairs ? " The first " + std::to_string(ShownPairs) + " are shown."
                                       : std::string());
    if (!fitted.empty()) {
        question.text += " Fitted to the icon's size:";
        for (std::size_t i = 0; i < fitted.size() && i < 20; ++i)
            question.text += (i ? ", " : " ") + std::to_string(fitted[i]);
        question.text += ".";
    }
    question.text += " Everything else stays as it is.";
    const Picture shown = Shown(takes);
    question.pixels = shown.pixels;
    question.width = shown.width;
    question.height = shown.height;
    if (!AskPictureQuestion(question))
        return CommandResult::Completed;

    ProgressScope scope("Taking items");
    StagedReplacements staging;
    std::string firstTarget;
    for (std::size_t i = 0; i < takes.size(); ++i) {
        const Take& take = takes[i];
        const std::size_t before = staging.Size();
        if (take.copy) {
            if (!SameBytes(take.from->path, take.into->path)) {
                BinaryFile source = BinaryFile::OpenRead(take.from->path);
                staging.Stage(take.into->path, source);
            }
        } else {
            StageItemPicture(staging, *take.into, take.after);
        }
        if (firstTarget.empty() && staging.Size() > before)
            firstTarget = staging.Replacements()[before].target;
        SetProgress(ProgressPercent(static_cast<double>(i + 1), static_cast<double>(takes.size())));
    }
    if (staging.Empty())
        return CommandResult::Completed;
    const std::string name =
        takes.size() == 1 ? "Take " + FileNamePart(firstTarget) : "Take of " + Items(takes.size());
    CommitStep(staging, name, JournalPath(firstTarget));
    const std::string report = "Took " + Items(takes.size()) + " of " + FlashFileName(2) +
                               " into " + FlashFileName(1) + ".";
    SetStatusText(report);
    return CommandResult::Completed;
}

} // namespace zantrel
