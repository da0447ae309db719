// The pin list at scale: opening a list of 1,000 pins and redrawing after a
// change to one record, each to stay under 50 ms.
#include "app/views/PinListModel.h"
#include "app/views/PinListView.h"
#include "app/views/PinRowListView.h"
#include "core/engine/PinService.h"
#include "core/store/ModelContainer.h"
#include "core/store/PinStore.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace skyloom;
using namespace skyloom::app;

namespace {

constexpr int pinCount = 1000;

// A store of real folders pinned in memory (the disk dates play no part in drawing).
struct Fixture {
    QTemporaryDir folders;
    std::unique_ptr<ModelContainer> container = ModelContainer::inMemory();
    PinStore store{container->mainContext(), PinService::makeDefault(),
                   std::make_shared<HeadlessDesktop>()};

    Fixture() {
        for (int i = 0; i < pinCount; ++i) {
            QString path = folders.filePath(QStringLiteral("Project %1").arg(i, 4, 10, QChar('0')));
            QDir().mkpath(path);
            auto pin = std::make_shared<PinnedFolder>(path.toStdString(), std::nullopt,
                                                      std::nullopt, i, 1.7e9);
            pin->setIsLocked(i % 7 == 0);
            container->mainContext().insert(pin);
        }
    }
};

void showAndPaint(PinListView& view) {
    view.resize(520, 600);
    view.show();
    view.rowsView()->doItemsLayout();
    QApplication::processEvents();
    benchmark::DoNotOptimize(view.grab());
}

void BM_OpenListOf1000Pins(benchmark::State& state) {
    Fixture fixture;
    for (auto _ : state) {
        PinListView view(fixture.store, PinListView::Style::window, {});
        showAndPaint(view);
    }
}
BENCHMARK(BM_OpenListOf1000Pins)->Unit(benchmark::kMillisecond);

void BM_ChangeOneRecordOf1000(benchmark::State& state) {
    Fixture fixture;
    PinListView view(fixture.store, PinListView::Style::window, {});
    showAndPaint(view);
    auto pins = fixture.store.fetchPins();
    bool missing = false;
    for (auto _ : state) {
        missing = !missing;
        // A visible row changes its flags (and its height) and is drawn again.
        pins[3]->setIsMissing(missing);
        QApplication::processEvents();
        benchmark::DoNotOptimize(view.rowsView()->viewport()->grab());
    }
}
BENCHMARK(BM_ChangeOneRecordOf1000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
