// Help > How Zantrel Works: one page of text that every window shows as it is.
#pragma once

#include <string_view>

// The read-me each release carries: beside zantrel.exe in the Windows zip and
// installed folder (which hold no README.md), among the Debian package's docs.
#ifdef _WIN32
#define ZANTREL_README "README-Windows.txt (beside zantrel.exe)"
#else
#define ZANTREL_README "README.md (in /usr/share/doc/zantrel)"
#endif

namespace zantrel {

inline constexpr std::string_view HowItWorksCaption = "How Zantrel Works";

inline constexpr std::string_view HowItWorksText =
    R"(Zantrel takes the icons and pictures (the DRM) of a phone's flash file apart into plain files, lets you edit them, and compiles them back into a new flash file. It reads superfiles (.shx), SBF files (.sbf) and raw code-group images (.bin, .smg or any other name).

Two runs
The work is spread over two runs of the program, started in the same folder, the start folder.
1. First run: File > Open. Choose the flash file to edit and, if you like, a second one to take a DRM from (Cancel skips it). Zantrel writes their parts into the work folder, leaves the session file shxdata.dat in the start folder and closes.
2. Edit the icons and pictures in the work folder's binary1/drmpack/icons with any picture editor, or with the commands below.
3. Second run: Zantrel shows the session and its thumbnails. Save As compiles the new flash file; Exit, or closing the window, keeps everything for a later run.

The work folder
binary1 holds file 1: its header, its code groups (CG15.bin holds the DRM as Open found it) and drmpack, the DRM's parts. drmpack/icons holds each picture as k.bmp and each icon as n.gif or n.bmp, numbered pictures first; drmpack/raws holds the pictures in the phone's own form. binary2 holds the same for the second file. Change only the icons and pictures, each at its own size.

Save As
For a superfile or SBF file: a new superfile with the rebuilt DRM code group, and that code group as a .bin file beside it. For a raw image: the new code group alone. It first offers "name-new.shx" beside the flash file and asks before replacing any file. Every item it would refuse is marked in red, with the reason in its tooltip. A completed Save As ends the session and cleans the work folder, unless the settings keep it.

Port
With two files opened: copies the second file's icons and pictures over the first's, slot by slot; it asks first, naming your edits it would overwrite. Save As then writes the result.

Discard Session
File > Discard Session... ends the pending session on purpose: it deletes the session file and every work file, your edits included, after asking.

Editing commands
Replace (a thumbnail's menu, or drop a picture on it): the item from a PNG, JPEG, GIF, BMP or TGA picture, fitted to its slot.
Restore Original (a thumbnail's menu) and File > Restore All Originals...: items back as Open wrote them.
File > Export Pictures as PNG...: every item as N.png into a folder; it asks before replacing files there.
File > Import Pictures...: such a folder read back, after saying what it replaces, what it fits and which files it leaves out and why.
File > Export Contact Sheet...: one PNG of every item with its number, size and edited mark.

Settings (only in a first run)
Do not perform clean-up on completion: Save As leaves the work folder's files.
Edit only mode: Open does not ask for a second file.
Select folder to save icons and CG's: the work folder, instead of the start folder.
Disable RAW 2 BMP conversion: pictures stay in the phone's raw form (drmpack/raws), not BMP.
Select transparency replacer color: the colour that stands for transparent pixels in the BMP pictures.
The settings live in zantrel.ini in the start folder.

)" ZANTREL_README " tells more.";

} // namespace zantrel
