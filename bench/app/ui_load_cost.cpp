// What loading the window's definition at run time costs against the same
// definition compiled in (uic): the first load, which a start pays, and the
// median of later ones. The window stays defined by Uninstaller.ui in the
// bundle, so that it can be edited without a build; this measures the price.
//
//   ui_load_cost PATH/Uninstaller.ui [RUNS]
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QUiLoader>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ui_Uninstaller.h"

namespace {

double LoadAtRunTime(const QString& path) {
  QElapsedTimer timer;
  timer.start();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
    std::exit(1);
  }
  // As the application does: no Designer plug-ins.
  const QStringList libraryPaths = QCoreApplication::libraryPaths();
  QCoreApplication::setLibraryPaths(QStringList());
  QUiLoader loader;
  QCoreApplication::setLibraryPaths(libraryPaths);
  std::unique_ptr<QWidget> root(loader.load(&file, nullptr));
  const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
  if (!root) {
    std::fprintf(stderr, "%s\n", qPrintable(loader.errorString()));
    std::exit(1);
  }
  return ms;
}

double LoadCompiled() {
  QElapsedTimer timer;
  timer.start();
  auto root = std::make_unique<QWidget>();
  Ui_Uninstaller ui;
  ui.setupUi(root.get());
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s Uninstaller.ui [runs]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 50;
  QApplication application(argc, argv);
  const QString path = QString::fromLocal8Bit(argv[1]);
  // Each first load pays for the widget classes' first use; the order is
  // alternated between runs of this program to see both.
  const bool compiledFirst = std::getenv("UI_COST_COMPILED_FIRST") != nullptr;
  double firstCompiled = 0, firstRunTime = 0;
  if (compiledFirst) {
    firstCompiled = LoadCompiled();
    firstRunTime = LoadAtRunTime(path);
  } else {
    firstRunTime = LoadAtRunTime(path);
    firstCompiled = LoadCompiled();
  }
  std::vector<double> runTime, compiled;
  for (int i = 0; i < runs; i++) {
    runTime.push_back(LoadAtRunTime(path));
    compiled.push_back(LoadCompiled());
  }
  std::printf("%-28s %10s %10s\n", "window definition", "first ms", "median ms");
  std::printf("%-28s %10.2f %10.2f\n", "Uninstaller.ui at run time", firstRunTime, Median(runTime));
  std::printf("%-28s %10.2f %10.2f\n", "compiled in (uic)", firstCompiled, Median(compiled));
  std::printf("(%s loaded first; medians of %d later loads)\n", compiledFirst ? "compiled form" : "run-time form",
              runs);
  return 0;
}
