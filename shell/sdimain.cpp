#include "shell/sdimain.h"

#include <cxxabi.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <new>
#include <vector>

#include "base/commit.h"
#include "base/fileio.h"
#include "base/folderlock.h"
#include "base/unicode.h"
#include "base/worktree.h"

#include "flash/superfile.h"

#include "drm/compile.h"
#include "drm/drmpack.h"
#include "drm/originals.h"
#include "drm/port.h"

#include "shell/cleanup.h"
#include "shell/history.h"
#include "shell/open.h"
#include "shell/session.h"
#include "shell/settings.h"
#include "shell/state.h"
#include "shell/summary.h"
#include "shell/workcheck.h"
#include "shell/workclaim.h"

namespace zantrel {

namespace {

ErrorReporter g_errorReporter;

constexpr std::string_view AlreadyRunningText = "Zantrel is already running in this folder.";

// The refusal of a command that would read or write through links in the
// work tree; nullopt when there is none.
std::optional<Outcome> RefuseLinks(bool both) {
    const std::vector<std::string> links = LinksInWorkTree(both);
    if (links.empty())
        return std::nullopt;
    std::string list;
    for (const std::string& link : links)
        list += "\n" + link;
    return Outcome::Refusal("Zantrel reads and writes only inside the work folder, and these are "
                            "links to elsewhere:" +
                            list +
                            "\nPut the files themselves in their place, or end the session with "
                            "File > Discard Session.... Nothing was written.");
}

void ReportError(const std::string& message, const std::string& path, const std::string& next) {
    if (g_errorReporter)
        g_errorReporter(message, path, next);
}

bool IsWithin(const std::string& path, const std::string& folder) {
    return !folder.empty() && path.size() > folder.size() && path.starts_with(folder) &&
           IsPathSeparator(path[folder.size()]);
}

// The work folder itself or its tree: what Settings' choice of work folder
// can mend (a folder of the person's own inside it cannot be).
bool InWorkFolder(const std::string& path) {
    const SharedState& s = State();
    return path == s.workFolder || path == s.binary1Dir || path == s.binary2Dir ||
           IsInsideWorkTree(path);
}

// How another work folder is chosen: in Settings, which a second run
// offers only once its session has ended.
std::string ChooseAnotherWorkFolder() {
    return State().freshSession ? "choose another work folder in Settings"
                                : "end the session with File > Discard Session... and then "
                                  "choose another work folder in Settings";
}

std::string Capitalised(std::string text) {
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

// What the person can do about a failure, by where it happened.
std::string NextStep(const IoError& e) {
    const SharedState& s = State();
    const std::string& path = e.Path();
    const bool saveTarget =
        !s.savePath.empty() && (path == s.savePath || path == s.compiledImagePath);
    if (e.AboutFolder() && e.Code() == IoFileNotFound) {
        if (InWorkFolder(path))
            return s.freshSession ? Capitalised(ChooseAnotherWorkFolder()) + ", or create this one."
                                  : "Put the folder back, or " + ChooseAnotherWorkFolder() + ".";
        return "Choose a folder that is there, or create this one, then try again.";
    }
    if (e.AboutFolder()) {
        if (path == s.startFolder)
            return "Zantrel keeps its session and settings files there: check the folder's "
                   "permissions, or start Zantrel in a folder you can write to.";
        if (InWorkFolder(path))
            return "Make the folder writable (check its permissions), or " +
                   ChooseAnotherWorkFolder() + ".";
        return "Choose another folder, or check its permissions.";
    }
    switch (e.Code()) {
    case IoAccessDenied:
        if (saveTarget)
            return "Close the program that has it open (or clear its read-only mark), then "
                   "choose Save As again.";
        return "Close any program that has it open and check its permissions, then try again.";
    case IoDiskFull:
        return "Free some space on that disk, then try again.";
    case IoFileNotFound:
        if (path == s.firstFlashPath || path == s.secondFlashPath)
            return "Check the flash file's name and folder, then try again.";
        if (IsWithin(path, s.workFolder))
            return "Put the file back in the work folder, or end the session with File > "
                   "Discard Session... and open the flash file again.";
        return "Check that the file is there, then try again.";
    default:
        return "Check the file, then try again.";
    }
}

// What Port's question adds about the edits it would overwrite: image 1's
// files that differ from what Open wrote, among the slots Port fills.
std::string EditedFilesPortReplaces(const PortResult& plan) {
    const SharedState& s = State();
    std::optional<DrmOriginals> originals;
    long r1 = 0;
    try {
        originals = DrmOriginals::Load(FoldersOf(1));
        r1 = originals ? originals->PictureCount() : 0;
    } catch (const IoError&) {
        originals.reset();
    }
    if (!originals)
        return "\n\nWhich of its files you edited cannot be told (its code group CG15.bin is "
               "missing or damaged): any edit among them is overwritten.";
    std::vector<std::string> names;
    auto note = [&](long number, bool picture) {
        try {
            if (!originals->Edited(number))
                return;
        } catch (const IoError&) {
            // Unreadable: Port overwrites it all the same, so it is named.
        }
        if (picture)
            names.push_back(NumberedFileName(number, s.rawConversionEnabled ? ".bmp" : ".raw"));
        else
            names.push_back(NumberedFileName(
                number, FileExists(JoinPath(s.icons1Dir, NumberedFileName(number, ".gif")))
                            ? ".gif"
                            : ".bmp"));
    };
    for (long j = 1; j <= plan.pictures; ++j)
        note(j, true);
    for (long k = 1; k <= plan.icons; ++k)
        note(r1 + k, false);
    if (names.empty())
        return "\n\nNone of them was edited since Open.";
    constexpr std::size_t Shown = 20;
    std::string list;
    for (std::size_t i = 0; i < names.size() && i < Shown; ++i)
        list += (i ? ", " : "") + names[i];
    if (names.size() > Shown)
        list += " and " + std::to_string(names.size() - Shown) + " more";
    return "\n\nPort overwrites " +
           (names.size() == 1 ? std::string("a file") : std::to_string(names.size()) + " files") +
           " you edited since Open: " + list + ".";
}

// What a Save As to savePath writes: the superfile and the compiled code
// group beside it; a raw session's code group, or a superfile saved under
// the code group's own ".bin" name, alone.
std::vector<std::string> SaveTargets(bool raw) {
    const SharedState& s = State();
    if (raw)
        return {s.compiledImagePath};
    if (s.savePath == s.compiledImagePath)
        return {s.savePath};
    return {s.savePath, s.compiledImagePath};
}

// What a run that ends without saving keeps, and how to save it.
std::string KeptWorkText() {
    return "Your edits are kept in " + EditFolder() + ". Start Zantrel again in " +
           State().startFolder + " to save them.";
}

// Save As's first offer: a new file beside flash file 1, named after it, so
// the original is not replaced by a careless OK.
std::string SuggestedSavePath(bool raw) {
    const std::string& first = State().firstFlashPath;
    if (first.empty())
        return {};
    return first.substr(0, first.size() - ExtensionOf(first).size()) +
           (raw ? "-new.bin" : "-new.shx");
}

// ", such as <name>-new.shx." or "." for a refusal that asks for another name.
std::string SuchAs(bool raw) {
    const std::string suggested = SuggestedSavePath(raw);
    return suggested.empty() ? "." : ", such as " + suggested + ".";
}

// A Save As target that would destroy what it must not: a folder, a file of
// the start folder's own, a file in the work tree, or a flash file of the
// session (a superfile holds only the RAMDLD and the DRM, so the flash file's
// other code groups would be lost). Compared as the file system sees them.
std::optional<Outcome> RefuseSaveTarget(bool raw) {
    const SharedState& s = State();
    for (const std::string& target : SaveTargets(raw)) {
        if (FolderExists(target))
            return Outcome::Refusal(target +
                                    " is a folder. Nothing was written. Choose Save As again and "
                                    "name a file, such as " +
                                    SuggestedSavePath(raw) + ".");
        // The clean-up would delete what it just wrote.
        if (IsInsideWorkTree(target))
            return Outcome::Refusal(
                target +
                " is inside the work tree, whose files Zantrel deletes when the session "
                "ends. Choose Save As again and pick a folder outside " +
                s.binary1Dir + " and " + s.binary2Dir + ".");
        for (std::string_view own : {SessionFileName, SettingsFileName, JournalFileName})
            if (SameFile(target, JoinPath(s.startFolder, own)))
                return Outcome::Refusal(
                    target + " is Zantrel's own " + std::string(own) +
                    " in the start folder, which keeps the session, the settings or a step in "
                    "progress. Nothing was written. Choose Save As again and name another file" +
                    SuchAs(raw));
        for (const std::string* flash : {&s.firstFlashPath, &s.secondFlashPath})
            if (!flash->empty() && SameFile(target, *flash))
                return Outcome::Refusal(
                    target +
                    " is the flash file this session was opened from. The new file "
                    "holds only the RAMDLD and the DRM, so the flash file's other code "
                    "groups would be lost. Nothing was written. Choose Save As again "
                    "and name a new file" +
                    SuchAs(raw));
    }
    return std::nullopt;
}

// Whether Port will refuse the pair for its layouts; a pair it cannot even
// read is for Port itself to report.
bool PortIncompatible() {
    try {
        return PlanPort(FoldersOf(1), FoldersOf(2)).outcome == PortOutcome::Incompatible;
    } catch (const IoError&) {
        return false;
    }
}

// Open writes into the work tree: a tree that could not be made, or a
// folder in it that cannot be written, is said before a flash file is read.
void CheckWorkTreeWritable(bool pair) {
    BuildWorkTree();
    const SharedState& s = State();
    std::vector<const std::string*> folders{&s.binary1Dir, &s.drmpack1Dir, &s.icons1Dir};
    if (pair)
        folders.insert(folders.end(), {&s.binary2Dir, &s.drmpack2Dir, &s.icons2Dir});
    for (const std::string* folder : folders)
        if (IsLink(*folder))
            throw IoError(IoAccessDenied, *folder, IoError::Subject::Folder)
                .WithNote("A link stands where a work folder belongs; Zantrel writes only "
                          "inside the work folder.");
    // The tree could not be made: the work folder refused it.
    if (!FolderExists(s.binary1Dir) || (pair && !FolderExists(s.binary2Dir)))
        throw IoError(FolderExists(s.workFolder) ? IoAccessDenied : IoFileNotFound, s.workFolder,
                      IoError::Subject::Folder);
    for (const std::string* folder : {&s.binary1Dir, &s.binary2Dir}) {
        if (folder == &s.binary2Dir && !pair)
            break;
        // A file made and removed at once: the folder's own answer, whatever
        // its permissions say.
        const std::string probe = NewTemporaryPath(JoinPath(*folder, ScratchFileName));
        try {
            BinaryFile::CreateNew(probe).Close();
        } catch (const IoError&) {
            DeleteFileQuietly(probe);
            throw;
        }
        DeleteFileQuietly(probe);
    }
}

} // namespace

CommandResult ShowRefusal(const Outcome& outcome, std::string_view caption) {
    if (!outcome.Refused())
        return CommandResult::Completed;
    ShowMessage(outcome.message, std::string(caption));
    return CommandResult::Refused;
}

namespace {

// What an Open writes into the work tree goes again when a failure (a full
// disk) stops it: the window stays, and a retry in the same run finds the
// tree as it was. What was there before, it never touches. (An Open that
// ends the run, on a file without a DRM, leaves its pieces to the next
// start's clean-up.)
class OpenWrites {
public:
    OpenWrites() : before_(OwnWorkFiles()), exceptions_(std::uncaught_exceptions()) {}
    OpenWrites(const OpenWrites&) = delete;
    OpenWrites& operator=(const OpenWrites&) = delete;
    ~OpenWrites() {
        if (std::uncaught_exceptions() == exceptions_)
            return;
        try {
            RemoveWorkFilesNotIn(before_);
        } catch (const std::exception&) {
            // What stays is the next fresh start's to clean.
        }
    }

private:
    std::vector<std::string> before_;
    int exceptions_;
};

// A Save As's new files, recorded before they are written and put in place
// together; however the save ends before that, they go (a run killed
// meanwhile leaves them to the next start's recovery).
class SaveOutputs {
public:
    explicit SaveOutputs(std::vector<Replacement> outputs)
        : outputs_(std::move(outputs)), journal_(JournalPath(outputs_.front().target)) {
        BeginReplacements(outputs_, journal_);
    }
    SaveOutputs(const SaveOutputs&) = delete;
    SaveOutputs& operator=(const SaveOutputs&) = delete;
    ~SaveOutputs() { RecoverReplacements(journal_); }
    void Commit() { CommitReplacements(outputs_, journal_); }

private:
    std::vector<Replacement> outputs_;
    std::string journal_;
};

} // namespace

// Image 1's code group compiled, then the superfile written around it and
// read back; both put in place together.
Outcome SaveSuperfile() {
    const SharedState& s = State();
    // Saved under a ".bin" name the superfile takes the compiled image's own
    // name, so the code group is compiled beside it and not kept.
    const bool sameTarget = s.savePath == s.compiledImagePath;
    AtomicOutput compiled(s.compiledImagePath);
    AtomicOutput superfile(s.savePath);
    SaveOutputs outputs({{s.savePath, superfile.TempPath()},
                         {sameTarget ? std::string() : s.compiledImagePath, compiled.TempPath()}});
    Outcome outcome = DrmCompileTo(FoldersOf(1), compiled);
    if (!outcome.Done())
        return outcome;
    outcome = WriteSuperfile(FoldersOf(1), compiled.TempPath(), superfile);
    if (!outcome.Done())
        return outcome;
    outputs.Commit();
    superfile.Release();
    compiled.Release();
    return {};
}

// A raw session's result: the compiled code group alone.
Outcome SaveRawImage() {
    const SharedState& s = State();
    AtomicOutput compiled(s.compiledImagePath);
    SaveOutputs outputs({{s.compiledImagePath, compiled.TempPath()}});
    const Outcome outcome = DrmCompileTo(FoldersOf(1), compiled);
    if (outcome.Done()) {
        outputs.Commit();
        compiled.Release();
    }
    return outcome;
}

namespace {

// Takes the start folder and its lock; false, after saying so, when another
// Zantrel runs there: it would share the session, the work tree and the
// scratch files.
bool TakeStartFolder() {
    SharedState& s = State();
    s.startFolder = Utf8FromPath(std::filesystem::current_path());
    const FolderLockResult lock = LockStartFolder(s.startFolder);
    if (lock == FolderLockResult::Taken)
        return true;
    if (lock == FolderLockResult::Held)
        ShowMessage(std::string(AlreadyRunningText), "Zantrel",
                    "Use the Zantrel that works in " + s.startFolder +
                        ", or close it and start Zantrel again.");
    else
        ShowMessage("Zantrel cannot keep this folder for itself.", "Zantrel",
                    s.startFolder +
                        " can be written but not read, so another Zantrel started there could "
                        "not be kept out. Allow reading it, or start Zantrel in another folder.");
    CloseMainWindow();
    return false;
}

// What a start says about a journal it could not act on.
void ReportRecovery(Recovery recovery, const std::string& journal) {
    if (recovery == Recovery::Unrecognised)
        ShowMessage("Zantrel found a " + std::string(JournalFileName) +
                        " it did not recognise and left it.",
                    "Warning",
                    journal + "\n" + std::string(UnrecognisedJournalText) +
                        " While it stays, Save As, Port and the editing commands do not start.");
    else if (recovery == Recovery::Left)
        ShowMessage("An earlier step that stopped part-way could not be finished yet.", "Warning",
                    journal +
                        "\nA file it names is held by another program or cannot be moved. Close "
                        "other programs, then start Zantrel again: it finishes that step first.");
}

// Save As's and Port's refusal while a journal they would write over stays.
std::optional<Outcome> RefuseJournal(const std::string& journal) {
    const Recovery recovery = RecoverReplacements(journal);
    if (recovery == Recovery::Unrecognised)
        return Outcome::Refusal(journal + ": " + std::string(UnrecognisedJournalText) +
                                " Nothing was written: move it away, then try again.");
    if (recovery == Recovery::Left)
        return Outcome::Refusal(
            journal +
            ": an earlier step that stopped part-way could not be finished, as a file it names "
            "is held by another program or cannot be moved. Nothing was written: close other "
            "programs, then try again.");
    return std::nullopt;
}

} // namespace

CommandResult InitApp() {
    SharedState& s = State();
    if (!TakeStartFolder())
        return CommandResult::Stopped;
    // A Save As or Port that a crash or a kill ended part-way is finished or
    // undone before anything reads the files it touched.
    ReportRecovery(RecoverReplacements(JournalPath()), JournalPath());
    // The temporaries of the start folder's own files, left by a run killed
    // while it wrote one.
    for (std::string_view name : {JournalFileName, SessionFileName, SettingsFileName})
        RemoveOwnTemporaries(s.startFolder, name);
    ReadSessionFile();
    LoadSettings();
    BuildWorkTree();
    // Nothing in a work folder that another session holds, or another
    // Zantrel uses now, is read as this session's or removed.
    const bool own = ClaimWorkFolder().use == WorkFolderUse::Free;
    if (!s.freshSession && own)
        ReadFlashPaths();
    if (own) {
        // Whatever an abandoned earlier run left goes, whatever the settings say.
        if (s.freshSession && FolderExists(s.binary1Dir)) {
            CleanWorkFolder();
            BuildWorkTree();
        }
        RemoveLeftoverTemporaries();
    } else if (!s.freshSession) {
        ShowMessage("Save As, Port and the editing commands cannot work on this session's files "
                    "now.",
                    "Warning", RefuseWorkFolderForSession()->message);
    }
    return CommandResult::Completed;
}

CommandResult InitAppReadOnly() {
    const SharedState& s = State();
    if (!TakeStartFolder())
        return CommandResult::Stopped;
    ReadSessionFile();
    LoadSettings(false);
    SetWorkTreePaths();
    if (!s.freshSession && ClaimWorkFolder().use == WorkFolderUse::Free)
        ReadFlashPaths();
    return CommandResult::Completed;
}

namespace {

// Open's first file refused or without a DRM: one box for it, and the run ends.
CommandResult EndRunOnFirstFile(const Outcome& outcome) {
    ShowRefusal(outcome);
    SetStatusText(outcome.Refused() ? "The file was refused. Shutting down."
                                    : "No DRM found. Shutting down.");
    if (outcome.kind == Outcome::Kind::NoDrm)
        ShowMessage("No DRM found", "Error",
                    State().firstFlashPath +
                        " holds no DRM that Zantrel can take apart. Start Zantrel again and "
                        "open another flash file.");
    DeleteSessionFile();
    CloseMainWindow();
    return outcome.Refused() ? CommandResult::Refused : CommandResult::Stopped;
}

} // namespace

CommandResult FileOpen1Execute() { return OpenFlashFiles({}); }

CommandResult FileSave1Execute() { return SaveAs(std::nullopt); }

CommandResult OpenFlashFiles(const OpenAnswers& given) {
    SharedState& s = State();
    if (const std::optional<Outcome> refused = RefuseWorkFolderForOpen())
        return ShowRefusal(*refused);
    s.secondFlashPath.clear();
    auto first = given.first ? given.first
                             : AskOpenFile("Open SBF/SHX file to edit or import DRM to",
                                           std::string(OpenFilter), false);
    if (!first) {
        DeleteSessionFile();
        CloseMainWindow();
        return CommandResult::Completed;
    }
    s.firstFlashPath = *first;
    // A first file Open could not take apart (one handed from outside is
    // never seen in the dialog) is said before the second question.
    if (s.askSecondFile && !given.first && !HoldsDrm(s.firstFlashPath))
        return EndRunOnFirstFile(Outcome::NoDrmFound());

    bool accepted = false;
    if (s.askSecondFile) {
        auto second = given.first
                          ? given.second
                          : AskOpenFile("Open SBF/SHX file to export DRM from (Cancel to skip)",
                                        std::string(OpenFilter), true);
        accepted = second.has_value();
        s.secondFlashPath = second.value_or(std::string());
    }
    s.sessionMode = accepted ? ModePair : ModeSingle;

    CheckWorkTreeWritable(s.sessionMode == ModePair);
    OpenWrites writes;
    // Before any work file: a run ended part-way leaves a tree this start
    // folder's next start may clean, and no other start folder's.
    WriteOwnerMarker();
    // An earlier session's undo history never reaches this one's files.
    RemoveHistory();
    s.currentImage = 1;
    SetStatusText("Decompiling source file 1");
    const bool raw = FlashKindOf(s.firstFlashPath) == FlashKind::RawImage;
    Outcome outcome = OpenFlashFile(FoldersOf(1));
    if (!outcome.Done())
        return EndRunOnFirstFile(outcome);

    CommandResult result = CommandResult::Completed;
    if (s.sessionMode == ModePair) {
        s.currentImage = 2;
        SetStatusText("Decompiling source file 2");
        // The raw bit describes flash file 1 only.
        outcome = OpenFlashFile(FoldersOf(2));
        if (!outcome.Done()) {
            result = ShowRefusal(outcome);
            s.sessionMode = ModeSingle;
            SetStatusText(outcome.Refused() ? "The 2nd file was refused. DRM Edit mode"
                                            : "No DRM found. DRM Edit mode");
            if (outcome.kind == Outcome::Kind::NoDrm)
                ShowMessage("No 2nd DRM found", "Warning",
                            s.secondFlashPath + " holds no DRM, so there is nothing to port; " +
                                FileNamePart(s.firstFlashPath) + " is opened for editing alone.");
        }
    }
    if (raw)
        s.sessionMode |= ModeRawImage;
    const bool pair = ImageCountOf(s.sessionMode) == ModePair;
    // A pair Port will refuse is said once, with what is left to do.
    const bool portable = pair && !PortIncompatible();
    std::string next = "The icons and pictures to edit are in " + EditFolder() +
                       ". Edit them with any picture editor, then start Zantrel again in " +
                       s.startFolder + " and choose " +
                       (portable ? "Port or Save As." : "Save As.");
    if (pair && !portable)
        next += "\n" + PortRefusesText() + "; Save As saves " + FlashFileName(1) +
                " with your own edits.";
    s.openedRamdldLength = -1;
    if (!raw) {
        // Save As writes the RAMDLD as Open wrote it, whatever the header says.
        const ImageFolders one = FoldersOf(1);
        s.openedRamdldLength = FileSizeOf(JoinPath(one.binaryDir, RamdldFileName));
        const std::optional<std::int64_t> listed = ListedRamdldLength(one);
        if (listed && s.openedRamdldLength >= 0 &&
            std::max<std::int64_t>(*listed, 0) != s.openedRamdldLength)
            next += "\nNote: the flash header lists " +
                    (*listed > 0 ? std::to_string(*listed) + " bytes for the RAMDLD"
                                 : std::string("no RAMDLD")) +
                    ", but the flash file holds " + std::to_string(s.openedRamdldLength) +
                    " bytes of it; Save As writes the RAMDLD as the flash file holds it.";
    }
    // The session file is the last file written: a run ended before it
    // leaves no session, and the next start cleans the work folder.
    WriteFlashPaths();
    WriteSessionFile();
    ShowMessage("DRM decompiled.", "", next);
    CloseMainWindow();
    return result;
}

CommandResult SaveAs(const std::optional<std::string>& given) {
    if (const std::optional<Outcome> refused = RefuseWorkFolderForSession())
        return ShowRefusal(*refused);
    // Everything Save As would refuse, listed at once before anything is asked or written.
    if (const std::vector<WorkProblem> problems = CheckWorkFiles(); !problems.empty()) {
        ShowWorkProblems(problems);
        return CommandResult::Refused;
    }
    SharedState& s = State();
    const bool raw = (s.sessionMode & ModeRawImage) != 0;
    std::optional<std::string> chosen;
    for (bool asked = false;; asked = true) {
        // An answer given beforehand is taken once; declined, it is a cancel.
        if (given && asked)
            chosen.reset();
        else
            chosen = given ? given
                           : AskSaveFile("Select a file to save DRM reflash",
                                         raw ? "BIN files|*.bin" : "SHX files|*.shx",
                                         chosen ? *chosen : SuggestedSavePath(raw));
        if (!chosen)
            break;
        chosen = WithDefaultExtension(*chosen);
        s.savePath = *chosen;
        DeriveCompiledImagePath();
        // Two names of one file (another spelling on a disk that ignores
        // case, a link): one target, as two equal names are.
        if (SameFile(s.savePath, s.compiledImagePath))
            s.compiledImagePath = s.savePath;
        if (const std::optional<Outcome> refused = RefuseSaveTarget(raw))
            return ShowRefusal(*refused);
        // One question for every file the save replaces; no, and the dialog comes back.
        std::string existing;
        for (const std::string& target : SaveTargets(raw))
            if (FileExists(target))
                existing += "\n" + target;
        if (existing.empty() ||
            AskConfirmation("These files exist and will be replaced:" + existing, "Save As",
                            DefaultAnswer::Cancel))
            break;
    }
    if (!chosen) {
        ShowMessage("DRM was not compiled", "Incomplete Operation", KeptWorkText());
        WriteSessionFile();
        CloseMainWindow();
        return CommandResult::Completed;
    }
    // An earlier attempt that was stopped part-way is finished or undone
    // first, and what it left beside the targets goes.
    if (const std::optional<Outcome> refused = RefuseJournal(JournalPath(s.savePath)))
        return ShowRefusal(*refused);
    for (const std::string& target : SaveTargets(raw))
        RemoveOwnTemporaries(ParentFolder(target), FileNamePart(target));
    const Outcome written = raw ? SaveRawImage() : SaveSuperfile();
    // Refused: the work stays pending, the window open.
    if (!written.Done())
        return ShowRefusal(written);
    std::string paths = "Written:";
    for (const std::string& target : SaveTargets(raw))
        paths += "\n" + target;
    // The session ends here; until now the file kept it for the next run.
    // Success is said only once it has ended.
    try {
        EndSession();
    } catch (const IoError& e) {
        SetStatusText("Written; the session is still pending");
        ShowMessage("The new files were written, but the session could not be ended.", "Warning",
                    paths + "\n\nThe session file " + e.Path() + " could not be deleted (" +
                        IoErrorText(e.Code()) +
                        "), so the work files are kept and the next start is again this "
                        "session. Delete that file yourself to end the session, or choose "
                        "File > Discard Session... in the next start.");
        return CommandResult::Refused;
    }
    ShowMessage("Operation Complete", "", paths);
    SetStatusText("Complete");
    // The undo history ends with the session, whatever the clean-up keeps.
    if (s.cleanupEnabled)
        CleanWorkFolder();
    else
        RemoveHistory();
    CloseMainWindow();
    return CommandResult::Completed;
}

CommandResult Port1Click() {
    SharedState& s = State();
    if (const std::optional<Outcome> refused = RefuseWorkFolderForSession())
        return ShowRefusal(*refused);
    if (const std::optional<Outcome> refused = RefuseJournal(JournalPath()))
        return ShowRefusal(*refused);
    if (auto refused = RefuseLinks(true))
        return ShowRefusal(*refused);
    const ImageFolders one = FoldersOf(1);
    const ImageFolders two = FoldersOf(2);
    const PortResult plan = PlanPort(one, two);
    if (plan.outcome == PortOutcome::Ported) {
        // Port replaces files the user may have edited: ask, naming what goes.
        const std::string counts = CountIconsAndPictures(plan.icons, plan.pictures);
        if (!AskConfirmation("Replace " + counts + " of " + FlashFileName(1) + " with those of " +
                                 FlashFileName(2) + "?" + EditedFilesPortReplaces(plan),
                             "Port", DefaultAnswer::Cancel))
            return CommandResult::Completed;
    }
    PortResult port = plan;
    if (plan.outcome == PortOutcome::Ported) {
        try {
            port = PortDrm(one, two, [](StagedReplacements& staging, const std::string& journal) {
                CommitStep(staging, "Port of " + FlashFileName(2), journal);
            });
        } catch (IoError& e) {
            e.WithNote("Nothing was ported: the icons and pictures of " + FlashFileName(1) +
                       " are as they were.");
            throw;
        }
    }
    if (port.outcome == PortOutcome::Refused)
        return ShowRefusal(Outcome::Refusal(port.message));
    if (port.outcome == PortOutcome::Incompatible) {
        // The run ends with the session still pending, as Exit leaves it.
        ShowMessage(port.message, "Error",
                    PortRefusesText() + ", so nothing was copied. The session stays pending: " +
                        "start Zantrel again in " + s.startFolder + " and choose Save As to save " +
                        FlashFileName(1) + " with your own edits.");
        CloseMainWindow();
        if (!s.freshSession)
            WriteSessionFile();
        return CommandResult::Stopped;
    }
    const std::string report = "Ported " + CountIconsAndPictures(port.icons, port.pictures) +
                               " of " + FlashFileName(2) + " into " + FlashFileName(1) + ".";
    ShowMessage(report, "Port",
                "Save As compiles them into the new flash file; until then the session stays "
                "pending.");
    SetStatusText(report);
    return CommandResult::Completed;
}

CommandResult FileExit1Execute() {
    if (!State().freshSession) {
        ShowMessage("DRM was not compiled", "Incomplete Operation", KeptWorkText());
        WriteSessionFile();
    }
    CloseMainWindow();
    return CommandResult::Completed;
}

namespace {

// The run goes on as a fresh one: no session, Open and Settings offered
// (Open builds the work tree again).
void BeginFreshRun() {
    SharedState& s = State();
    s.freshSession = true;
    s.sessionMode = 0;
    s.firstFlashPath.clear();
    s.secondFlashPath.clear();
    s.savePath.clear();
    s.compiledImagePath.clear();
    s.openedRamdldLength = -1;
}

} // namespace

CommandResult FileDiscard1Execute() {
    const SharedState& s = State();
    // Work files that are another session's are not this one's to delete.
    const bool own = CurrentWorkFolderClaim().use == WorkFolderUse::Free;
    const std::string question =
        own ? "Discard the pending session? Zantrel deletes the session file " + SessionFilePath() +
                  " and its own work files in " + s.workFolder +
                  " (in binary1 and binary2: the flash pieces, the DRM's files and the numbered "
                  "icons and pictures, edited ones included). Other files there stay. This "
                  "cannot be undone."
            : "Discard this folder's pending session? Zantrel deletes the session file " +
                  SessionFilePath() + ". The work folder " + s.workFolder +
                  " is not this session's now and is left as it is.";
    if (!AskConfirmation(question, "Discard Session", DefaultAnswer::Cancel))
        return CommandResult::Completed;
    // The session file first: while it stays, the work files are its own.
    try {
        EndSession();
    } catch (const IoError& e) {
        ShowMessage("The session could not be discarded.", "Error",
                    "The session file " + e.Path() + " could not be deleted (" +
                        IoErrorText(e.Code()) +
                        "). Nothing was deleted; check that folder's permissions, then choose "
                        "Discard Session again.");
        return CommandResult::Refused;
    }
    const DiscardResult discarded = own ? DiscardWorkFiles() : DiscardResult{};
    std::string said = "Deleted the session file " + SessionFilePath();
    if (own)
        said += " and " + Counted(static_cast<long>(discarded.deleted), "work file") + " from " +
                s.workFolder + ".";
    else
        said += "; the work folder " + s.workFolder + " was left as it is.";
    const std::vector<std::string>& kept = discarded.kept;
    if (!kept.empty()) {
        said += "\n\n" + Counted(static_cast<long>(kept.size()), "work file") +
                (kept.size() == 1 ? " was" : " were") +
                " not deleted; delete them yourself (another program may hold them open):";
        for (std::size_t i = 0; i < kept.size() && i < 20; ++i)
            said += "\n" + kept[i];
        if (kept.size() > 20)
            said += "\n... and " + std::to_string(kept.size() - 20) + " more";
    }
    BeginFreshRun();
    said += "\n\nTo begin again, open a flash file with File > Open.";
    SetStatusText(kept.empty() ? "Session discarded" : "Session discarded; some work files stay");
    ShowMessage("Session discarded.", "Discard Session", said);
    return CommandResult::Completed;
}

// A forced unwind carries no exception object: the sanitizer's null check on
// its handler's reference is a false alarm.
__attribute__((no_sanitize("null"))) CommandResult
RunGuarded(const std::function<CommandResult()>& command) {
    // A command stopped by a failure leaves nothing of itself showing: the
    // error box is the last word.
    std::string message;
    std::string path;
    std::string next;
    try {
        return command();
    } catch (const IoError& e) {
        // The box's first line is the fixed text of the code; what a folder's
        // failure means goes with the next step.
        message = IoErrorMessage(e.Code());
        path = e.Path();
        const std::string folder = !e.AboutFolder()             ? std::string()
                                   : e.Code() == IoFileNotFound ? "The folder does not exist. "
                                                                : "The folder cannot be written. ";
        next = folder + (e.Note().empty() ? NextStep(e) : e.Note() + " " + NextStep(e));
    } catch (const abi::__forced_unwind&) {
        // An unwind the system began (a thread ended, a crash it swallowed):
        // it must go on; the window's state is released by scope.
        throw;
    } catch (const std::bad_alloc&) {
        message = "Out of memory.";
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unexpected failure.";
    }
    ShowProgress(false);
    SetStatusText("");
    ReportError(message, path, next);
    return CommandResult::Failed;
}

void SetErrorReporter(ErrorReporter reporter) { g_errorReporter = std::move(reporter); }

} // namespace zantrel
