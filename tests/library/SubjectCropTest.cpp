// Where a photo is cut to its cell's shape: the part kept over the subject
// for faces in every corner and edge, faces that do not fit together and a
// face larger than the part; the middle exactly as before; and the face
// finder and centre of attention on real pictures, with a missing cascade
// falling back as it says.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <vector>

#include "imaging/PictureOps.h"
#include "library/CellPictures.h"
#include "library/SubjectCrop.h"
#include "support/EngineTestSupport.h"
#include "support/FacePhotos.h"

namespace velmora {
namespace {

TEST(SubjectCrop, PartKeptSitsOverTheFacesThatFit) {
  struct Case {
    const char* what;
    int w, h, aw, ah;
    std::vector<TRect> faces;
    TRect kept;
  };
  const std::vector<Case> cases = {
      {"no face: the middle", 400, 200, 1, 1, {}, {100, 0, 300, 200}},
      {"top-left corner", 400, 200, 1, 1, {{0, 0, 40, 40}}, {0, 0, 200, 200}},
      {"right edge", 400, 200, 1, 1, {{350, 80, 400, 130}}, {200, 0, 400, 200}},
      {"two that fit together", 400, 200, 1, 1, {{120, 20, 160, 60}, {250, 30, 290, 70}}, {105, 0, 305, 200}},
      {"far apart: the bigger", 400, 200, 1, 1, {{10, 10, 50, 50}, {330, 10, 390, 70}}, {200, 0, 400, 200}},
      {"larger than the part: centred on it", 400, 200, 1, 1, {{20, 0, 380, 200}}, {100, 0, 300, 200}},
      {"tall photo, face at the bottom", 200, 400, 1, 1, {{80, 330, 120, 380}}, {0, 200, 200, 400}},
      {"wide cell, face at the top", 300, 300, 2, 1, {{100, 10, 150, 60}}, {0, 0, 300, 150}},
      {"tall cell, face at the right", 300, 300, 1, 2, {{250, 100, 290, 140}}, {150, 0, 300, 300}},
      {"already the cell's shape: as CropRegion", 300, 150, 2, 1, {{0, 0, 30, 30}}, {0, 0, 299, 149}},
  };
  for (const Case& c : cases) {
    const SubjectBox box = BoxOfFaces(c.w, c.h, c.aw, c.ah, c.faces);
    EXPECT_EQ(SubjectRegion(c.w, c.h, c.aw, c.ah, box), c.kept) << c.what;
  }
}

TEST(SubjectCrop, RegionCutIsTheCentreCutWhereTheyAgree) {
  // CropToRegion with CropRegion's rectangle is CropToAspect, pixel for
  // pixel, and the middle crop of the summaries and renders is untouched.
  for (const auto& [w, h, aw, ah] :
       std::vector<std::array<int, 4>>{{97, 61, 1, 1}, {64, 128, 4, 3}, {50, 50, 1, 1}}) {
    TBitmap32 photo(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) photo.Pixel(x, y) = Color32(uint8_t(x * 5), uint8_t(y * 3), uint8_t(x ^ y));
    TBitmap32 centre, region, viaNull;
    CropToAspect(photo, centre, aw, ah);
    CropToRegion(photo, region, CropRegion(w, h, aw, ah));
    CropCellPicture(photo, viaNull, aw, ah, nullptr);
    EXPECT_TRUE(testing::SamePixels(centre, region)) << w << "x" << h;
    EXPECT_TRUE(testing::SamePixels(centre, viaNull)) << w << "x" << h;
  }
  TBitmap32 any = testing::Uniform(40, 20, Color32(10, 20, 30));
  EXPECT_EQ(FindSubject(any, 1, 1, CropBy::Centre, nullptr), kMiddleSubject);
}

TEST(SubjectCrop, ModeNamesReadBack) {
  for (CropBy mode : {CropBy::Centre, CropBy::Attention, CropBy::Faces}) {
    CropBy read = CropBy::Faces;
    ASSERT_TRUE(ParseCropBy(CropByName(mode), &read));
    EXPECT_EQ(read, mode);
  }
  CropBy read = CropBy::Centre;
  EXPECT_TRUE(ParseCropBy("center", &read));
  EXPECT_FALSE(ParseCropBy("middle", &read));
}

using testing::FaceAtLeft;

TEST(SubjectCrop, FacesAndAttentionFindTheSubjectOffTheMiddle) {
  if (FaceCascadePath().empty()) GTEST_SKIP() << "no face cascade (Debian package opencv-data)";
  std::vector<TRect> faces;
  ASSERT_TRUE(FindFaces(testing::Uniform(200, 100, Color32(90, 90, 90)), faces).ok());
  EXPECT_TRUE(faces.empty());

  const TBitmap32 wide = FaceAtLeft();
  const Status found = FindFaces(wide, faces);
  ASSERT_TRUE(found.ok()) << found.message();
  ASSERT_FALSE(faces.empty());
  for (const TRect& f : faces) EXPECT_LT(f.Right, 192) << f.Left << "," << f.Top;
  std::string warning;
  const SubjectBox box = FindSubject(wide, 1, 1, CropBy::Faces, &warning);
  EXPECT_TRUE(warning.empty()) << warning;
  const TRect kept = SubjectRegion(wide.Width(), wide.Height(), 1, 1, box);
  for (const TRect& f : faces) EXPECT_TRUE(f.Left >= kept.Left && f.Right <= kept.Right) << kept.Left;

  SubjectBox attention;
  ASSERT_TRUE(FindAttention(wide, 1, 1, &attention).ok());
  EXPECT_LT(attention.Left, 65535 / 3);  // in the portrait, not the grey
}

TEST(SubjectCrop, MissingCascadeFallsBackWithAReason) {
  ::setenv("VELMORA_FACE_CASCADE", "/nonexistent/cascade.xml", 1);
  std::vector<TRect> faces;
  const Status s = FindFaces(FaceAtLeft(), faces);
  std::string warning;
  (void)FindSubject(FaceAtLeft(), 1, 1, CropBy::Faces, &warning);
  ::unsetenv("VELMORA_FACE_CASCADE");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("cascade"), std::string::npos) << s.message();
  EXPECT_NE(warning.find("attention instead"), std::string::npos) << warning;
}

}  // namespace
}  // namespace velmora
