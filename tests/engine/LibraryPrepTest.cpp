// Prepare library: the summaries, the crop and grey options, the gauge, the
// first failing picture, thread-count independence and the scaled decode.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineTestSupport.h"
#include "engine/CellPictures.h"

namespace velmora {
namespace {

using testing::JobRecorder;
using testing::ScratchDir;
using testing::SetGrid;
using testing::Uniform;
using testing::WriteBmp24;

std::vector<std::string> SamplePhotos() {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(VELMORA_SAMPLE_IMAGES))
    if (entry.path().extension() == ".jpg") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(PrepareLibrary, SummariesOfTheExamplePictures) {
  ScratchDir dir;
  WriteBmp24(dir.File("flat.bmp"), Uniform(40, 30, Color32(200, 20, 10)));
  TBitmap32 halves = Uniform(64, 64, Color32(0, 0, 0));
  halves.FillRect(TRect{0, 0, 64, 32}, Color32(255, 0, 0));
  WriteBmp24(dir.File("halves.bmp"), halves);
  TBitmap32 bands = Uniform(64, 64, Color32(0, 255, 0));  // green middle, red top and bottom
  bands.FillRect(TRect{0, 0, 64, 16}, Color32(255, 0, 0));
  bands.FillRect(TRect{0, 48, 64, 64}, Color32(255, 0, 0));
  WriteBmp24(dir.File("bands.bmp"), bands);

  Engine e;
  SetGrid(e, 8, 8, 32, 32);
  e.Project.CropCell = false;
  e.PicList.Append(dir.File("flat.bmp"));
  e.PicList.Append(dir.File("halves.bmp"));
  e.Library[0].UseCount = 5;
  e.Library[2].UseCount = 9;  // beyond the list: left alone
  ASSERT_TRUE(e.PrepareLibrary().ok());
  for (const SigColor& s : e.Library[0].Signature.Slot) EXPECT_EQ(s, (SigColor{10, 20, 200, 72}));
  const ColorSignature& h = e.Library[1].Signature;
  EXPECT_EQ(h.Slot[sigTopLeft], (SigColor{0, 0, 255, 76}));
  EXPECT_EQ(h.Slot[sigBottomRight], (SigColor{0, 0, 0, 0}));
  EXPECT_EQ(h.Mean(), (SigColor{0, 0, 127, 38}));  // the greys averaged, not the grey of the mean (37)
  EXPECT_EQ(e.Library[0].UseCount, 0);
  EXPECT_EQ(e.Library[2].UseCount, 9);

  // Cells of 32 x 16 keep the central band of half the height; grey makes
  // every slot's channels equal.
  SetGrid(e, 8, 8, 32, 16);
  e.Project.CropCell = true;
  e.PicList.Assign({dir.File("bands.bmp")});
  ASSERT_TRUE(e.PrepareLibrary().ok());
  for (const SigColor& s : e.Library[0].Signature.Slot) {
    EXPECT_GE(s.Green, 250);
    EXPECT_LE(s.Red, 5);
  }
  e.Project.MonoCell = true;
  ASSERT_TRUE(e.PrepareLibrary().ok());
  for (const SigColor& s : e.Library[0].Signature.Slot) EXPECT_TRUE(s.Red == s.Green && s.Green == s.Blue);
}

TEST(PrepareLibrary, GaugeAfterEachPictureIsPercentMinusOne) {
  ScratchDir dir;
  Engine e;
  for (int k = 0; k < 3; ++k) {
    WriteBmp24(dir.File(std::to_string(k) + ".bmp"), Uniform(8, 8, Color32(50, 60, 70)));
    e.PicList.Append(dir.File(std::to_string(k) + ".bmp"));
  }
  JobRecorder job;
  e.SetListener(&job);
  ASSERT_TRUE(e.PrepareLibrary().ok());
  EXPECT_EQ(job.texts, std::vector<std::string>{"Current Job : Cell Pic Lib"});
  EXPECT_EQ(job.progress, (std::vector<int>{0, -1, 32, 65}));
  EXPECT_EQ(job.events, 3);
}

TEST(PrepareLibrary, FirstFailingPictureStopsWithTheReadersMessage) {
  ScratchDir dir;
  WriteBmp24(dir.File("good.bmp"), Uniform(8, 8, Color32(50, 60, 70)));
  std::filesystem::copy_file(SamplePhotos().front(), dir.File("jpeg-named.bmp"));
  for (int threads : {1, 2, 4}) {
    Engine e;
    e.SetThreadCount(threads);
    std::vector<std::string> list(12, dir.File("good.bmp"));
    list[5] = dir.File("missing.jpg");
    list[8] = dir.File("jpeg-named.bmp");
    e.PicList.Assign(list);
    const ColorSignature marker = testing::FlatSignature(1, 2, 3);
    for (int k = 0; k < 12; ++k) e.Library[k].Signature = marker;
    JobRecorder job;
    e.SetListener(&job);
    const Status st = e.PrepareLibrary();
    TBitmap32 probe;
    EXPECT_EQ(st.message(), LoadPictureFile(probe, dir.File("missing.jpg")).message()) << threads;
    EXPECT_FALSE(st.ok());
    for (int k = 0; k < 5; ++k) EXPECT_NE(e.Library[k].Signature, marker) << threads;
    for (int k = 5; k < 12; ++k) EXPECT_EQ(e.Library[k].Signature, marker) << threads;
    EXPECT_EQ(job.events, 5);

    e.PicList.Assign({dir.File("good.bmp"), dir.File("jpeg-named.bmp")});
    EXPECT_EQ(e.PrepareLibrary().message(), "Bitmap image is not valid");
  }
}

TEST(PrepareLibrary, SameSummariesWhateverTheThreadCount) {
  std::vector<ColorSignature> first;
  for (int threads : {1, 2, 3}) {
    Engine e;
    e.SetThreadCount(threads);
    e.PicList.Assign(SamplePhotos());
    ASSERT_TRUE(e.PrepareLibrary().ok());
    for (int k = 0; k < e.PicList.Count(); ++k) {
      if (threads == 1) {
        first.push_back(e.Library[k].Signature);
      } else {
        ASSERT_EQ(e.Library[k].Signature, first[static_cast<size_t>(k)]) << threads << " " << k;
      }
    }
  }
  EXPECT_GE(first.size(), 50u);
}

// The reduced JPEG decode must summarise as the full one does, within 3 in
// every byte, for the cell shapes the program offers.
TEST(PrepareLibrary, ScaledDecodeSummaryStaysWithinThreeOfTheFullDecode) {
  struct Shape {
    int cw, ch;
    bool crop;
  };
  int scaled = 0;
  for (const Shape s : {Shape{32, 32, true}, Shape{32, 32, false}, Shape{64, 16, true}, Shape{8, 40, true}}) {
    for (const std::string& path : SamplePhotos()) {
      TBitmap32 full;
      TBitmap32 reduced;
      ASSERT_TRUE(LoadPictureFile(full, path).ok());
      ASSERT_TRUE(LoadPictureFile(reduced, path, SummaryDecodeHints(s.cw, s.ch, s.crop)).ok());
      scaled += reduced.Width() < full.Width();
      const auto a = SummarizeCellPicture(full, s.cw, s.ch, s.crop, false).Bytes();
      const auto b = SummarizeCellPicture(reduced, s.cw, s.ch, s.crop, false).Bytes();
      for (size_t i = 0; i < a.size(); ++i) ASSERT_LE(std::abs(a[i] - b[i]), 3) << path << " byte " << i;
    }
  }
  EXPECT_GT(scaled, 200);  // most sample photos really were decoded reduced
}

}  // namespace
}  // namespace velmora
