// The picture-open dialog with a preview: the desktop's file list on the left
// (Qt's own dialog, so a pane can be added) and the chosen file, read with the
// program's own picture reader and fitted, on the right.
#pragma once

#include <QString>

class QWidget;

namespace velmora::ui {

// Every picture format the reader knows, as one file-dialog filter string:
// all of them first, then one entry per format.
QString PictureOpenFilter();

// An empty string on cancel.
QString GetOpenPictureName(QWidget* parent, const QString& caption, const QString& folder,
                           const QString& filter);

}  // namespace velmora::ui
