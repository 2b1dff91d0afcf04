// Writes the program's pictures as the bitmap files of the Windows program's resources
// (app/win32/resources), so both front ends show the same pictures. Run it after a change to
// app/qt/pictures.cpp (target export_pictures, then `export_pictures app/win32/resources`),
// and make the icon from the logo:
//   convert logo.bmp -define icon:auto-resize=48,32,16 kestravuna.ico
//
// The bitmaps are 32 bits per pixel with premultiplied alpha, bottom-up, which the Windows
// program draws with AlphaBlend. A button picture holds its normal and its disabled image side
// by side (32 x 16), the way such buttons have always kept their two images.
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "app/qt/pictures.h"

namespace {

using kestravuna::app::Picture;

void PutLittleEndian(QByteArray& bytes, quint32 value, int size) {
  for (int i = 0; i < size; ++i) bytes.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool WriteBitmap(const QImage& picture, const QString& path) {
  const QImage image = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const quint32 pixelBytes = static_cast<quint32>(image.width() * image.height() * 4);
  QByteArray bytes;
  bytes.append("BM");
  PutLittleEndian(bytes, 14 + 40 + pixelBytes, 4);  // file size
  PutLittleEndian(bytes, 0, 4);                     // reserved
  PutLittleEndian(bytes, 14 + 40, 4);               // offset of the pixels
  PutLittleEndian(bytes, 40, 4);                    // BITMAPINFOHEADER
  PutLittleEndian(bytes, static_cast<quint32>(image.width()), 4);
  PutLittleEndian(bytes, static_cast<quint32>(image.height()), 4);  // positive: bottom-up
  PutLittleEndian(bytes, 1, 2);                                     // planes
  PutLittleEndian(bytes, 32, 2);                                    // bits per pixel
  PutLittleEndian(bytes, 0, 4);                                     // BI_RGB
  PutLittleEndian(bytes, pixelBytes, 4);
  for (int i = 0; i < 4; ++i) PutLittleEndian(bytes, 0, 4);  // resolution, palette
  for (int y = image.height() - 1; y >= 0; --y) {
    const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) PutLittleEndian(bytes, row[x], 4);  // B G R A
  }
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The normal image and the disabled one, side by side.
QImage ButtonStrip(Picture picture) {
  const QIcon icon = kestravuna::app::ButtonIcon(picture);
  QImage strip(32, 16, QImage::Format_ARGB32_Premultiplied);
  strip.fill(Qt::transparent);
  QPainter painter(&strip);
  painter.drawPixmap(0, 0, icon.pixmap(16, 16, QIcon::Normal));
  painter.drawPixmap(16, 0, icon.pixmap(16, 16, QIcon::Disabled));
  return strip;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: export_pictures OUTPUT_FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]) + "/";
  const struct {
    Picture picture;
    const char* file;
  } buttons[] = {{Picture::Protect, "protect.bmp"},
                 {Picture::Restore, "restore.bmp"},
                 {Picture::Information, "information.bmp"},
                 {Picture::Quit, "quit.bmp"},
                 {Picture::Cancel, "cancel.bmp"},
                 {Picture::Close, "close.bmp"},
                 {Picture::Ok, "ok.bmp"}};
  bool written =
      WriteBitmap(kestravuna::app::DrawPicture(Picture::Logo).toImage(), folder + "logo.bmp") &&
      WriteBitmap(kestravuna::app::DrawPicture(Picture::Title).toImage(), folder + "title.bmp");
  for (const auto& button : buttons) {
    written = written && WriteBitmap(ButtonStrip(button.picture), folder + button.file);
  }
  if (!written) std::fprintf(stderr, "export_pictures: cannot write into %s\n", argv[1]);
  return written ? 0 : 1;
}
