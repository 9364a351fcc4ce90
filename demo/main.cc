// demo: one window with one Gridwell control; opens the sample workbook beside the program.
//
//   demo                       the window
//   demo --screenshot FILE     also writes a PNG of the window once the first page has loaded,
//                              then closes it (for the documentation and a start-up check)
#include <gtk/gtk.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "control/gtk/gridwell_widget.h"
#include "demo/form1.h"
#include "demo/keyfile_store.h"

namespace {

struct Screenshot {
  demo::Form1* form;
  std::string path;
  int ticks = 0;
  int settled = -1;
  bool ok = false;
};

// Polls until the start page has loaded, lets WebKit paint it, then takes the picture.
gboolean ScreenshotTick(gpointer data) {
  auto* shot = static_cast<Screenshot*>(data);
  if (!shot->form->Alive()) return G_SOURCE_REMOVE;
  ++shot->ticks;
  const bool loaded = shot->form->Control().DocumentLoaded();
  if (shot->settled < 0 && (loaded || shot->ticks > 600)) shot->settled = shot->ticks;
  // Half a second after the load for the page to be painted.
  if (shot->settled < 0 || shot->ticks - shot->settled < 10) return G_SOURCE_CONTINUE;
  shot->ok = shot->form->SavePicture(shot->path);
  std::printf("%s %s\n", shot->ok ? "wrote" : "could not write", shot->path.c_str());
  shot->form->Command5_Click();
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  std::string screenshot;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshot = argv[++i];
    } else {
      std::fprintf(stderr, "usage: demo [--screenshot FILE.png]\n");
      return 2;
    }
  }

  demo::KeyFilePropertyStore store(demo::DefaultStorePath(), "Gridwell1");
  demo::Form1Options options;
  options.appFolder = demo::ProgramFolder();
  options.store = &store;
  demo::Form1 form(options);
  g_signal_connect(form.Window(), "destroy", G_CALLBACK(gtk_main_quit), nullptr);

  Screenshot shot{&form, screenshot};
  if (!screenshot.empty()) g_timeout_add(50, ScreenshotTick, &shot);
  form.Show();
  if (form.Alive()) gtk_main();
  return screenshot.empty() || shot.ok ? 0 : 1;
}
