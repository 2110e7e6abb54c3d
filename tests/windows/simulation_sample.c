/* Prints one line per thread count: a hash of every bit of eight seeded
 * realisations (a fitted model, so the fit's bits count too). The platforms'
 * lines must be equal: scripts/windows.sh compares Wine's with Linux's. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "mosaro.h"

enum { kSamples = 120, kColumns = 40, kRows = 30, kRealisations = 8 };

static double x[kSamples], y[kSamples], value[kSamples], values[kRealisations * kColumns * kRows];

int main(void) {
    /* Samples from integer arithmetic, the same on every platform. */
    uint32_t state = 2026u;
    for (int s = 0; s < kSamples; ++s) {
        state = state * 1664525u + 1013904223u;
        x[s] = (double)(state >> 20) / 4096.0 * 390.0;
        state = state * 1664525u + 1013904223u;
        y[s] = (double)(state >> 20) / 4096.0 * 290.0;
        value[s] = 0.01 * x[s] + 0.02 * y[s] + (double)(state % 97u) / 10.0;
    }
    const int threads[] = {1, 2, 8};
    for (int t = 0; t < 3; ++t) {
        mosaro_simulation s;
        mosaro_simulation_init(&s);
        s.x = x;
        s.y = y;
        s.value = value;
        s.sample_count = kSamples;
        s.grid_x = s.grid_y = 0.0;
        s.cell_size_x = s.cell_size_y = 10.0;
        s.node_count_x = kColumns;
        s.node_count_y = kRows;
        s.realisations = kRealisations;
        s.seed = 20261207u;
        s.values = values;
        s.thread_count = threads[t];
        if (mosaro_simulate(&s, NULL) != MOSARO_OK) {
            fprintf(stderr, "%s\n", mosaro_last_message());
            return 1;
        }
        uint64_t hash = 14695981039346656037u; /* FNV-1a over the bytes */
        const unsigned char* bytes = (const unsigned char*)values;
        for (size_t b = 0; b < sizeof values; ++b) hash = (hash ^ bytes[b]) * 1099511628211u;
        printf("threads %d: %016llx\n", threads[t], (unsigned long long)hash);
    }
    return 0;
}
