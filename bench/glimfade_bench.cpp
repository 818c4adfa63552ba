// The fading button's two inner loops: one blend step and one dissolve step, on the sizes of
// the program's buttons (130 × 27 command buttons, the 99 × 83 logo). A whole hover blend on
// a shown control is measured too, since each step repaints at once.
#include <benchmark/benchmark.h>

#include <QImage>

#include "widgets/GlimFade.h"

namespace {

QImage noise(QSize size, uint32_t seed) {
    QImage image(size, lumi::GlimImageFormat);
    uint32_t state = seed;
    for (qsizetype i = 0; i < image.sizeInBytes(); ++i) {
        state = state * 1664525u + 1013904223u;
        image.bits()[i] = uchar(state >> 24);
    }
    return image;
}

void BM_BlendStep(benchmark::State& state) {
    const QSize size(int(state.range(0)), int(state.range(1)));
    const QImage work = noise(size, 1);
    const QImage target = noise(size, 2);
    QImage display = work.copy();
    int weight = 1;
    for (auto _ : state) {
        lumi::blendStep(display, work, target, weight);
        benchmark::ClobberMemory();
        weight = weight % 32 + 1;
    }
    state.SetBytesProcessed(state.iterations() * display.sizeInBytes());
}
BENCHMARK(BM_BlendStep)->Args({130, 27})->Args({99, 83});

// One step of the logo's dissolve (rate 500) and of a command button's default rate (125).
void BM_DissolveStep(benchmark::State& state) {
    const QSize size(int(state.range(0)), int(state.range(1)));
    const QImage target = noise(size, 3);
    QImage display = noise(size, 4);
    const lumi::PixelList list = lumi::shuffledPixelList(size.width(), size.height());
    const size_t perStep = list.size() / size_t(state.range(2));
    size_t next = 0;
    for (auto _ : state) {
        lumi::dissolveStep(display, target, list, next, perStep);
        benchmark::ClobberMemory();
        next = next + 2 * perStep > list.size() ? 0 : next + perStep;
    }
    state.counters["pixels/step"] = double(perStep);
}
BENCHMARK(BM_DissolveStep)->Args({130, 27, 125})->Args({99, 83, 500});

// A full 33-step blend of a shown command button, repaints included.
void BM_HoverBlendShown(benchmark::State& state) {
    QWidget window;
    window.resize(200, 60);
    auto* button = new TGlimFade(&window);
    button->setStretchToFit(false);
    button->setPicFrom(lumi::GlimPicture::bitmap(noise({130, 27}, 5)));
    button->setPicTo(lumi::GlimPicture::bitmap(noise({130, 27}, 6)));
    window.show();
    for (auto _ : state)
        button->Blend();
    state.counters["steps"] = double(button->BlendRate() + 1);
}
BENCHMARK(BM_HoverBlendShown)->Unit(benchmark::kMicrosecond);

} // namespace
