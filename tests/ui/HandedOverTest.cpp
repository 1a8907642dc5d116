// What the desktop hands over, driven through the real main window: files
// dropped onto it (a real drop event with file URLs) and names given on the
// command line go the same way: a project loads, a picture opens the wizard
// with it as the main picture, a folder's photos of every format join the
// library, and anything else is refused with a message.
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "UiTestSupport.h"
#include "ui/MainWindowDrop.h"
#include "ui/NewProjectWizard.h"

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;

class HandedOverTest : public ProgramTest {
protected:
  // Drops the files on the main window as a file manager would.
  bool Drop(const std::vector<std::string>& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    data->setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Main(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Main(), &drop);
    delete data;
    return enter.isAccepted();
  }
};

TEST_F(HandedOverTest, ProjectPictureAndFolderEachGoTheirWay) {
  Start(3);
  MakeMosaic();
  const std::string project = folder / "dropped.vm6";
  ASSERT_TRUE(Main().SaveProjectTo(QString::fromStdString(project)).ok());

  // A folder: its photos in any format (a PNG among them), subfolders too.
  fs::create_directories(folder.path() / "trip/day2");
  fs::copy_file(Engine().PicList[0], folder.path() / "trip/a.jpg");
  fs::copy_file(std::string(VELMORA_TEST_DATA) + "/photo/blocks.webp", folder.path() / "trip/day2/b.webp");
  WriteWholeFile(folder / "trip/notes.txt", "not a picture");
  // A name no image list can hold is left out, and the user is told.
  fs::copy_file(Engine().PicList[0], folder.path() / "trip/day2/two\nlines.jpg");
  const int before = Engine().PicList.Count();
  EXPECT_TRUE(Drop({folder / "trip"}));
  EXPECT_EQ(Engine().PicList.Count(), before + 2);
  EXPECT_EQ(Engine().PicList[before + 1], folder / "trip/day2/b.webp");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].second, "1 picture with line breaks in its name was left out");
  prompts.messages.clear();

  // A project: loaded as Load does, after the picture shown meanwhile.
  Engine().MosaicState = 1;
  Drop({project});
  EXPECT_EQ(Engine().MosaicState, 2);

  // A picture: the wizard opens with it as the main picture.
  const std::string picture = std::string(VELMORA_TEST_DATA) + "/photo/blocks.heic";
  ASSERT_TRUE(ui::OpenHandedOver(Session(), Main(), QString::fromStdString(picture)).ok());
  EXPECT_TRUE(Session().windows.wizard->isVisible());
  EXPECT_EQ(Engine().Project.MainImageFile, picture);
  EXPECT_EQ(Engine().MainBitmap.Width(), 96);
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(HandedOverTest, WhatCannotBeOpenedIsReported) {
  Start(1);
  WriteWholeFile(folder / "notes.txt", "x");
  EXPECT_EQ(ui::OpenHandedOver(Session(), Main(), QString::fromStdString(folder / "notes.txt")).message(),
            "Unknown picture file extension (.txt)");
  EXPECT_FALSE(ui::OpenHandedOver(Session(), Main(), QString::fromStdString(folder / "gone.vm6")).ok());
  // Dropped, the failure is shown as a message.
  Drop({folder / "notes.txt"});
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].first, "Error");
}

}  // namespace
}  // namespace velmora::testing
