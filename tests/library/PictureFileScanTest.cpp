// The picture-file loader's folder scan: which names are taken, in which
// order, and how subfolders are walked.
#include <dirent.h>
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

// The folder's entry names as the file system returns them: the order the
// scan must keep.
Paths EntryOrder(const std::string& folder) {
  Paths names;
  DIR* dir = ::opendir(folder.c_str());
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

TEST(PictureFileScan, ListsTheFolderInFileSystemOrder) {
  ScratchFolder dir;
  for (const char* name : {"a.jpg", "b.JPG", "c.Jpg", "d.bmp", "e.jpeg", "f.png", ".hidden.jpg"})
    WriteWholeFile(dir / name, "x");
  fs::create_directory(dir.path() / "folder.jpg");

  Paths found;
  ListPictureFiles(dir.str(), found, false);

  Paths expected;
  for (const std::string& name : EntryOrder(dir.str()))
    if (name != "e.jpeg" && name != "f.png" && name != "folder.jpg")
      expected.push_back(dir.str() + "/" + name);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(found.size(), 5u);  // hidden files are taken too
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

TEST(PictureFileScan, SubfolderFilesStandWhereTheSubfolderIsMet) {
  ScratchFolder dir;
  for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) WriteWholeFile(dir / name, "x");
  fs::create_directories(dir.path() / "sub" / "deeper");
  WriteWholeFile(dir.path() / "sub" / "s.bmp", "x");
  WriteWholeFile(dir.path() / "sub" / "deeper" / "d.jpg", "x");

  Paths flat;
  ListPictureFiles(dir.str(), flat, false);
  EXPECT_EQ(flat.size(), 4u);

  Paths deep;
  ListPictureFiles(dir.str(), deep, true);
  ASSERT_EQ(deep.size(), 6u);
  // Remove the subfolder's block: what is left is the flat list, and the
  // block starts after exactly the files met before "sub".
  const auto inSub = [&](const std::string& p) { return p.rfind(dir.str() + "/sub/", 0) == 0; };
  const auto first = std::find_if(deep.begin(), deep.end(), inSub);
  ASSERT_NE(first, deep.end());
  ASSERT_TRUE(inSub(first[0]) && inSub(first[1]));
  const Paths order = EntryOrder(dir.str());
  const auto before = std::find(order.begin(), order.end(), "sub") - order.begin();
  EXPECT_EQ(first - deep.begin(), before);
  Paths rest = deep;
  rest.erase(rest.begin() + before, rest.begin() + before + 2);
  EXPECT_EQ(rest, flat);
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
  std::sort(flat.begin(), flat.end());
  EXPECT_EQ(flat, sorted);

  Paths deep;
  ListPictureFiles(dir.str(), deep, true);
  std::sort(deep.begin(), deep.end());
  // The subfolder and the link to it are the same folder: walked once, by
  // whichever name the scan meets first.
  ASSERT_EQ(deep.size(), 3u);
  EXPECT_EQ(deep[0], dir.str() + "/absolute.jpg");
  EXPECT_TRUE(deep[1] == dir.str() + "/folder-link.jpg/inner.jpg" || deep[2] == dir.str() + "/sub/inner.jpg")
      << deep[1] << " " << deep[2];
  EXPECT_TRUE(std::find(deep.begin(), deep.end(), dir.str() + "/relative.jpg") != deep.end());
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

TEST(PictureFileScan, SkipsNamesAListFileCannotStore) {
  ScratchFolder dir;
  WriteWholeFile(dir / "two\nlines.jpg", "x");
  WriteWholeFile(dir / "ok.jpg", "x");
  Paths found;
  ListPictureFiles(dir.str(), found, false);
  EXPECT_EQ(found, (Paths{dir / "ok.jpg"}));
  EXPECT_EQ(ListFolderPicturesSorted(dir.str()), (Paths{dir / "ok.jpg"}));
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
