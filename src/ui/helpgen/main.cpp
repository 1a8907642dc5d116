// velmora-helpgen: turns the help text (Markdown) into help.pdf at build
// time, so the document beside the program always matches its commands.
//   velmora-helpgen INPUT.md OUTPUT.pdf
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: velmora-helpgen INPUT.md OUTPUT.pdf\n");
    return 2;
  }
  QFile in(QString::fromLocal8Bit(argv[1]));
  if (!in.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "velmora-helpgen: cannot read %s\n", argv[1]);
    return 1;
  }
  QTextDocument doc;
  doc.setDefaultStyleSheet(
      QStringLiteral("h1 { color: #27456f; } h2 { color: #27456f; } "
                     "table { border-collapse: collapse; } td, th { padding: 3px; }"));
  // Pictures named in the text are found beside it.
  doc.setBaseUrl(QUrl::fromLocalFile(QFileInfo(in.fileName()).absolutePath() + QStringLiteral("/")));
  doc.setMarkdown(QString::fromUtf8(in.readAll()));
  // The pictures named in the text, read from beside it.
  const QDir folder = QFileInfo(in.fileName()).absoluteDir();
  for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat format = it.fragment().charFormat();
      if (!format.isImageFormat()) continue;
      const QString name = format.toImageFormat().name();
      const QImage image(folder.filePath(name));
      if (image.isNull()) {
        std::fprintf(stderr, "velmora-helpgen: cannot read the picture %s\n", qPrintable(name));
        return 1;
      }
      // Narrower than the printed page, whatever the screen it was taken on.
      const int pageWidth = 600;
      doc.addResource(
          QTextDocument::ImageResource, QUrl(name),
          image.width() > pageWidth ? image.scaledToWidth(pageWidth, Qt::SmoothTransformation) : image);
    }
  QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
  pdf.setTitle(QStringLiteral("Velmora Help"));
  pdf.setCreator(QStringLiteral("Velmora"));
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
  doc.print(&pdf);
  return 0;
}
