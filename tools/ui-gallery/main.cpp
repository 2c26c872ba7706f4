// Renders the control gallery to a PNG: ui-gallery OUT.png (run with QT_QPA_PLATFORM=offscreen to
// work without a screen).
#include <QApplication>
#include <cstdio>

#include "platform/ui/forms.h"
#include "tools/ui-gallery/GalleryForm.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
    return 2;
  }
  QApplication qapp(argc, argv);
  int rc = 0;
  {
    plat::TApplication app;
    app.SetTitle("ui-gallery");
    auto* form = plat::NewForm<TGalleryForm>(&app);
    QImage img = RenderGallery(form);
    if (!img.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", argv[1]);
      rc = 1;
    }
  }
  return rc;
}
