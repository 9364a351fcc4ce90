// Opens one page in a WebKitGTK view, as the viewer control shows it (a window with one web
// view, default settings), and prints, in milliseconds from the start of the navigation:
//   <first contentful paint> <load event> <DOM content loaded> <table cells> <load finished>
// The first three are the page's own performance marks; the last is when WebKit told the
// application that the load finished (what the control reports as OpenComplete), which can
// come well after the load event when a big table is laid out in between. -1 stands for a
// mark that never came. A sixth figure is the peak memory, in MB, of this process and the
// WebKit processes it started, sampled every 20 ms until the load finished.
//   webkit_page_timing [--timeout SECONDS] [--size WxH] PAGE
// Exit status: 0 measured, 1 the load failed or timed out, 2 usage.
#include <gtk/gtk.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The marks, read after the load finished. The paint mark is looked for until it comes:
// it carries the time of the paint itself, so reading it late does not change it.
constexpr const char* kMarks =
    "(function () {"
    "  var f = performance.getEntriesByName('first-contentful-paint')[0];"
    "  var n = performance.getEntriesByType('navigation')[0];"
    "  return [f ? f.startTime : -1, n ? n.loadEventStart : -1,"
    "          n ? n.domContentLoadedEventStart : -1,"
    "          document.getElementsByTagName('td').length, performance.timeOrigin].join(' ');"
    "})()";

struct Run {
  GMainLoop* loop = nullptr;
  WebKitWebView* view = nullptr;
  gint64 finished = 0;  // wall clock, microseconds since the epoch
  int polls = 0;
  bool ok = false;
  std::string result;
};

void Poll(Run* run);

// Resident memory, in kB, of the process and all its descendants.
long TreeResidentKb(int root) {
  std::map<int, std::vector<int>> children;
  std::map<int, long> rss;
  GDir* proc = g_dir_open("/proc", 0, nullptr);
  if (!proc) return 0;
  while (const char* name = g_dir_read_name(proc)) {
    const int pid = std::atoi(name);
    if (pid <= 0) continue;
    std::ifstream status(std::string("/proc/") + name + "/status");
    int ppid = 0;
    long kb = 0;
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("PPid:", 0) == 0) ppid = std::atoi(line.c_str() + 5);
      if (line.rfind("VmRSS:", 0) == 0) kb = std::atol(line.c_str() + 6);
    }
    children[ppid].push_back(pid);
    rss[pid] = kb;
  }
  g_dir_close(proc);
  long total = 0;
  std::vector<int> todo{root};
  while (!todo.empty()) {
    const int pid = todo.back();
    todo.pop_back();
    total += rss[pid];
    for (int child : children[pid]) todo.push_back(child);
  }
  return total;
}

long g_peakKb = 0;
gboolean SampleMemory(gpointer) {
  g_peakKb = std::max(g_peakKb, TreeResidentKb(getpid()));
  return G_SOURCE_CONTINUE;
}

void OnMarks(GObject* source, GAsyncResult* res, gpointer data) {
  auto* run = static_cast<Run*>(data);
  GError* error = nullptr;
  JSCValue* value =
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), res, &error);
  if (!value) {
    std::fprintf(stderr, "webkit_page_timing: %s\n", error ? error->message : "no result");
    g_clear_error(&error);
    g_main_loop_quit(run->loop);
    return;
  }
  char* text = jsc_value_to_string(value);
  double fcp = -1;
  std::sscanf(text, "%lf", &fcp);
  run->result = text;
  g_free(text);
  g_object_unref(value);
  if (fcp < 0 && ++run->polls < 600) {
    g_timeout_add(
        50,
        [](gpointer d) {
          Poll(static_cast<Run*>(d));
          return G_SOURCE_REMOVE;
        },
        run);
    return;
  }
  run->ok = true;
  g_main_loop_quit(run->loop);
}

void Poll(Run* run) {
  webkit_web_view_evaluate_javascript(run->view, kMarks, -1, nullptr, nullptr, nullptr, OnMarks,
                                      run);
}

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto* run = static_cast<Run*>(data);
  if (event != WEBKIT_LOAD_FINISHED || run->finished) return;
  run->finished = g_get_real_time();
  SampleMemory(nullptr);
  Poll(run);
}

gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer data) {
  auto* run = static_cast<Run*>(data);
  std::fprintf(stderr, "webkit_page_timing: %s: %s\n", uri, error ? error->message : "failed");
  g_main_loop_quit(run->loop);
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  int timeout = 300, width = 1280, height = 900;
  const char* page = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--timeout") && i + 1 < argc) {
      timeout = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
      std::sscanf(argv[++i], "%dx%d", &width, &height);
    } else if (!page && argv[i][0] != '-') {
      page = argv[i];
    } else {
      page = nullptr;
      break;
    }
  }
  if (!page || timeout <= 0) {
    std::fprintf(stderr, "usage: webkit_page_timing [--timeout SECONDS] [--size WxH] PAGE\n");
    return 2;
  }
  gtk_init(&argc, &argv);
  char* uri = g_filename_to_uri(page, nullptr, nullptr);
  if (!uri) {
    std::fprintf(stderr, "webkit_page_timing: not an absolute path: %s\n", page);
    return 2;
  }
  Run run;
  run.loop = g_main_loop_new(nullptr, FALSE);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), width, height);
  run.view = WEBKIT_WEB_VIEW(webkit_web_view_new());
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(run.view));
  gtk_widget_show_all(window);
  g_signal_connect(run.view, "load-changed", G_CALLBACK(OnLoadChanged), &run);
  g_signal_connect(run.view, "load-failed", G_CALLBACK(OnLoadFailed), &run);
  g_timeout_add_seconds(
      static_cast<guint>(timeout),
      [](gpointer d) {
        std::fprintf(stderr, "webkit_page_timing: timed out\n");
        g_main_loop_quit(static_cast<Run*>(d)->loop);
        return G_SOURCE_REMOVE;
      },
      &run);
  const guint sampler = g_timeout_add(20, SampleMemory, nullptr);
  webkit_web_view_load_uri(run.view, uri);
  g_main_loop_run(run.loop);
  g_source_remove(sampler);
  double fcp = -1, load = -1, dcl = -1, cells = -1, origin = 0;
  if (run.ok) {
    std::sscanf(run.result.c_str(), "%lf %lf %lf %lf %lf", &fcp, &load, &dcl, &cells, &origin);
    std::printf("%.0f %.0f %.0f %.0f %.0f %.0f\n", fcp, load, dcl, cells,
                double(run.finished) / 1000.0 - origin, double(g_peakKb) / 1024.0);
  }
  g_free(uri);
  return run.ok ? 0 : 1;
}
