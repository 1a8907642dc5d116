// Photos cropped where their subject is, through Prepare library and the
// summary cache: the crop by faces keeps the face of a photo whose face is
// off its middle, a warm run finds the same crop without a decode, and an
// opened project takes it from the cache.
#include <gtest/gtest.h>

#include "library/SubjectCrop.h"
#include "support/EngineTestSupport.h"
#include "support/FacePhotos.h"

namespace velmora {
namespace {

struct CropFixture {
  testing::ScratchDir pictures;
  testing::ScratchDir cacheDir;
  std::vector<std::string> paths;
  TBitmap32 photo = testing::FaceAtLeft();

  CropFixture() {
    Engine e;
    testing::AddPicture(e, pictures, photo);
    testing::AddPicture(e, pictures, testing::Uniform(64, 48, Color32(30, 160, 90)));
    paths = e.PicList.Paths();
  }

  void SetUp(Engine& e, CropBy mode) {
    testing::SetGrid(e, 4, 4, 16, 16);
    e.PicList.Assign(paths);
    e.CropMode = mode;
    e.SetSummaryCacheFolder(cacheDir.File("velmora"));
  }

  // Prepares the library; the reads it took and photo 0's signature.
  int Prepare(Engine& e, CropBy mode, ColorSignature* first) {
    SetUp(e, mode);
    testing::ReadCounter counter;
    e.SetPictureLoader(counter.Loader());
    EXPECT_TRUE(e.PrepareLibrary().ok());
    *first = e.Library[0].Signature;
    int reads = 0;
    for (const auto& [path, n] : counter.reads) reads += n;
    return reads;
  }
};

TEST(CropBy, FacesCropIsFoundOnceAndKeptInTheCache) {
  if (FaceCascadePath().empty()) GTEST_SKIP() << "no face cascade (Debian package opencv-data)";
  CropFixture f;
  ColorSignature centre, cold, warm;
  Engine plain, first, second, opened;
  f.Prepare(plain, CropBy::Centre, &centre);
  EXPECT_EQ(f.Prepare(first, CropBy::Faces, &cold), 2);
  EXPECT_NE(cold.Bytes(), centre.Bytes());  // the portrait, not the grey middle

  SubjectBox slot;
  const SubjectBox* box = first.KnownSubject(0, slot);
  ASSERT_NE(box, nullptr);
  const SubjectBox found = *box;
  const TRect kept = SubjectRegion(f.photo.Width(), f.photo.Height(), 16, 16, found);
  EXPECT_EQ(kept.Left, 0);
  EXPECT_EQ(plain.KnownSubject(0, slot), nullptr);  // the centre crop has none

  EXPECT_EQ(f.Prepare(second, CropBy::Faces, &warm), 0);
  EXPECT_EQ(warm.Bytes(), cold.Bytes());
  ASSERT_NE(second.KnownSubject(0, slot), nullptr);
  EXPECT_EQ(slot, found);

  // Opened from a project: no preparation, the box comes from the cache.
  f.SetUp(opened, CropBy::Faces);
  ASSERT_NE(opened.KnownSubject(0, slot), nullptr);
  EXPECT_EQ(slot, found);
}

}  // namespace
}  // namespace velmora
