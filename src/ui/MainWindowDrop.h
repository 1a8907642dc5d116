// Opening what the desktop hands over: files named on the command line (the
// file manager's "Open with") and files or folders dropped onto the main
// window. A project is loaded as Load does, a picture becomes the main
// picture of a new project in the wizard, and a folder's photos (with its
// subfolders, every format the reader reads) join the image library as the
// loader appends them: in scan order, up to the list's limit.
#pragma once

#include <QString>

#include "imaging/Status.h"

namespace velmora::ui {

class MainWindow;
struct Session;

Status OpenHandedOver(Session& session, MainWindow& window, const QString& path);

// Makes the main window take drops of local files and folders.
void AcceptDrops(Session& session, MainWindow& window);

}  // namespace velmora::ui
