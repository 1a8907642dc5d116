// The folder scans: which names are taken, in which order, how subfolders
// are walked and what is left out.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "library/PictureFileScan.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;
using testing::ScratchFolder;
using testing::WriteWholeFile;

// The scan's order is the byte order of the names, whatever order the file
// system returns them in; hidden files are taken, other extensions and
// folders named like pictures are not.
TEST(PictureFileScan, ListsTheFolderInTheByteOrderOfTheNames) {
  ScratchFolder dir;
  for (const char* name : {"c.Jpg", "b.JPG", "e.jpeg", "a.jpg", "\xC3\xA9t\xC3\xA9.jpg", "f.png", "B.bmp",
                           ".hidden.jpg", "10.jpg", "9.jpg", "d.bmp"})
    WriteWholeFile(dir / name, "x");
  fs::create_directory(dir.path() / "folder.jpg");

  Paths found;
  EXPECT_EQ(ListPictureFiles(dir.str(), found, false), 0u);
  Paths expected;
  for (const char* name : {".hidden.jpg", "10.jpg", "9.jpg", "B.bmp", "a.jpg", "b.JPG", "c.Jpg", "d.bmp",
                           "\xC3\xA9t\xC3\xA9.jpg"})
    expected.push_back(dir / name);
  EXPECT_EQ(found, expected);
}

// Widened, the scan takes every extension the reader decodes and still
// leaves out other files.
TEST(PictureFileScan, ReadableFilterTakesEveryPictureFormat) {
  ScratchFolder dir;
  for (const char* name :
       {"a.jpg", "b.jpeg", "c.PNG", "d.webp", "e.heic", "f.jxl", "g.NEF", "h.tif", "i.txt", "j.vm6", "k"})
    WriteWholeFile(dir / name, "x");
  Paths found = ListFolderPicturesSorted(dir.str(), PictureNameFilter::kReadable);
  Paths expected;
  for (const char* name : {"a.jpg", "b.jpeg", "c.PNG", "d.webp", "e.heic", "f.jxl", "g.NEF", "h.tif"})
    expected.push_back(dir.str() + "/" + name);
  EXPECT_EQ(found, expected);
  Paths scanned;
  ListPictureFiles(dir.str(), scanned, false, PictureNameFilter::kReadable);
  EXPECT_EQ(scanned.size(), expected.size());
  EXPECT_EQ(ListFolderPicturesSorted(dir.str()).size(), 1u);  // the default: .jpg and .bmp
}

// Depth first: a folder's own pictures, then each subfolder's in the byte
// order of the subfolders' names, at every level.
TEST(PictureFileScan, RecursiveScanListsFilesFirstThenEachSubfolderByName) {
  ScratchFolder dir;
  for (const char* name : {"z/b.jpg", "z/a.jpg", "a/y/2.jpg", "a/y/1.jpg", "a/x.jpg", "a/Y/0.jpg", "m.jpg",
                           "b.jpg", "a.jpg/inner.jpg", ".h/h.jpg"}) {
    fs::create_directories((dir.path() / name).parent_path());
    WriteWholeFile(dir / name, "x");
  }
  Paths deep;
  EXPECT_EQ(ListPictureFiles(dir.str(), deep, true), 0u);
  Paths expected;
  for (const char* name : {"b.jpg", "m.jpg", ".h/h.jpg", "a/x.jpg", "a/Y/0.jpg", "a/y/1.jpg", "a/y/2.jpg",
                           "a.jpg/inner.jpg", "z/a.jpg", "z/b.jpg"})
    expected.push_back(dir / name);
  EXPECT_EQ(deep, expected);
}

// A folder without subfolders lists the same with and without recursion, in
// whatever order its files were made.
TEST(PictureFileScan, FlatFolderListsTheSameWithAndWithoutRecursion) {
  ScratchFolder dir;
  Paths expected;
  for (int i = 0; i < 300; ++i) expected.push_back(dir / ("p" + std::to_string(i * 7919 % 1000) + ".jpg"));
  for (auto it = expected.rbegin(); it != expected.rend(); ++it) WriteWholeFile(*it, "x");
  std::sort(expected.begin(), expected.end());
  Paths flat, deep;
  ListPictureFiles(dir.str(), flat, false, PictureNameFilter::kReadable);
  ListPictureFiles(dir.str(), deep, true, PictureNameFilter::kReadable);
  EXPECT_EQ(flat, expected);
  EXPECT_EQ(deep, flat);
}

TEST(PictureFileScan, UnreadableOrMissingFolderYieldsNothing) {
  ScratchFolder dir;
  Paths found;
  ListPictureFiles(dir / "missing", found, true);
  ListPictureFiles("", found, true);
  WriteWholeFile(dir / "file.jpg", "x");
  ListPictureFiles(dir / "file.jpg", found, true);
  EXPECT_TRUE(found.empty());
}

// A link counts as what it leads to, in both listings: a link to a picture is
// a picture, one to a folder is a folder, a dangling one is nothing. Links
// given relative to the folder resolve from the folder, not from where the
// program runs.
TEST(PictureFileScan, LinksCountAsWhatTheyLeadTo) {
  ScratchFolder dir;
  ScratchFolder elsewhere;
  WriteWholeFile(elsewhere / "photo.jpg", "x");
  fs::create_directory(dir.path() / "sub");
  WriteWholeFile(dir / "sub/inner.jpg", "x");
  fs::create_symlink(elsewhere.path() / "photo.jpg", dir.path() / "absolute.jpg");
  fs::create_symlink("sub/inner.jpg", dir.path() / "relative.jpg");
  fs::create_symlink("missing.jpg", dir.path() / "dangling.jpg");
  fs::create_directory_symlink("sub", dir.path() / "folder-link.jpg");

  const Paths sorted = ListFolderPicturesSorted(dir.str());
  EXPECT_EQ(sorted, (Paths{dir.str() + "/absolute.jpg", dir.str() + "/relative.jpg"}));

  Paths flat;
  ListPictureFiles(dir.str(), flat, false);
  EXPECT_EQ(flat, sorted);

  Paths deep;
  ListPictureFiles(dir.str(), deep, true);
  // The subfolder and the link to it are the same folder: walked once, by
  // the name that sorts first.
  EXPECT_EQ(deep, (Paths{dir / "absolute.jpg", dir / "relative.jpg", dir / "folder-link.jpg/inner.jpg"}));
}

TEST(PictureFileScan, LinkLoopEnds) {
  ScratchFolder dir;
  fs::create_directory(dir.path() / "sub");
  WriteWholeFile(dir.path() / "sub" / "p.jpg", "x");
  fs::create_directory_symlink("..", dir.path() / "sub" / "up");
  Paths found;
  ListPictureFiles(dir.str(), found, true);
  EXPECT_EQ(found, (Paths{dir.str() + "/sub/p.jpg"}));
}

// An image list cannot hold a path with a line break: such pictures are
// left out, in a folder so named too, and counted; other files are not.
TEST(PictureFileScan, PicturesWithLineBreaksInTheirPathsAreLeftOutAndCounted) {
  ScratchFolder dir;
  for (const char* name : {"two\nlines.jpg", "cr\r.bmp", "ok.jpg", "note\n.txt", "line\nbreak/a.jpg",
                           "line\nbreak/b.jpg", "line\nbreak/c.txt", "sub/x\r\n.jpg", "sub/y.jpg"}) {
    fs::create_directories((dir.path() / name).parent_path());
    WriteWholeFile(dir / name, "x");
  }
  Paths flat, deep;
  EXPECT_EQ(ListPictureFiles(dir.str(), flat, false), 2u);
  EXPECT_EQ(flat, (Paths{dir / "ok.jpg"}));
  EXPECT_EQ(ListPictureFiles(dir.str(), deep, true), 5u);
  EXPECT_EQ(deep, (Paths{dir / "ok.jpg", dir / "sub/y.jpg"}));
  EXPECT_EQ(ListFolderPicturesSorted(dir.str()), (Paths{dir / "ok.jpg"}));

  Paths inside;
  EXPECT_EQ(ListPictureFiles(dir / "line\nbreak", inside, true), 2u);
  EXPECT_TRUE(inside.empty());
}

TEST(PictureFileScan, LineBreakNoteCountsPictures) {
  EXPECT_EQ(LineBreakNamesNote(0), "");
  EXPECT_EQ(LineBreakNamesNote(1), "1 picture with line breaks in its name was left out");
  EXPECT_EQ(LineBreakNamesNote(2), "2 pictures with line breaks in their names were left out");
  EXPECT_EQ(LineBreakNamesNote(65536), "65536 pictures with line breaks in their names were left out");
}

TEST(PictureFileScan, SortedListingIgnoresCaseAndLeavesOutHiddenFilesAndFolders) {
  ScratchFolder dir;
  for (const char* name : {"b.JPG", "A.bmp", "c.txt", ".h.jpg", "B.bmp", "a.jpg"})
    WriteWholeFile(dir / name, "x");
  fs::create_directory(dir.path() / "Z.jpg");
  EXPECT_EQ(ListFolderPicturesSorted(dir.str()),
            (Paths{dir / "A.bmp", dir / "a.jpg", dir / "B.bmp", dir / "b.JPG"}));
  EXPECT_TRUE(ListFolderPicturesSorted(dir / "missing").empty());
}

}  // namespace
}  // namespace velmora
