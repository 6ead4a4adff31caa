# KovoZint: the three everyday commands. Each installs missing system packages first.
PRESET ?= dev
JOBS ?= $(shell nproc)

STRATEGY := ./build/release/examples/libkovo_demo_strategy.so

.PHONY: bootstrap run test bench asan tsan format clean

bootstrap:
	@bash scripts/bootstrap

# The reference terminal with the embedded back end and the plug-in. With a
# display it opens its window; without one it runs the demo offscreen and
# leaves screenshots and the log in a fresh folder.
run: bootstrap
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target kovo-terminal KovoZint kovo_demo_strategy
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  ./build/release/host/app/kovo-terminal --auto-login demo --strategy $(STRATEGY); \
	else \
	  d=$$(mktemp -d); echo "No display: running the demo offscreen into $$d"; \
	  QT_QPA_PLATFORM=offscreen XDG_DATA_HOME="$$d/data" \
	    ./build/release/host/app/kovo-terminal --auto-login demo --strategy $(STRATEGY) --demo "$$d"; \
	fi

# Debug build with every test, every target of the release build (so a
# library cycle that only an optimised link exposes fails here), then the
# unit tests under address and undefined-behaviour sanitizers.
test: bootstrap
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) -j $(JOBS)
	ctest --preset $(PRESET) -j $(JOBS)
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: bootstrap
	cmake --preset release -DKOVO_BENCH_TULIP=ON
	cmake --build --preset release -j $(JOBS)
	./build/release/bench/codec_bench --benchmark_min_time=1
	./build/release/bench/tick_bench
	./build/release/bench/startup_bench
# Placements/s from a strategy thread at 1k and 1M prior actions, updates/s,
# status look-ups/s from 8 threads; then sort wall time at 100k and 1M rows.
	./build/release/bench/order_bench
	./build/release/bench/list_bench --benchmark_filter=BM_Sort
# Re-bucketing 1M one-minute bars; the first frame after a new bar at 100k bars
# with five indicators; redraws and the live-bar tick.
	./build/release/bench/chart_store_bench --benchmark_filter='BM_Rebucket|BM_FirstFrame|BM_TickOnLiveBar'
	./build/release/bench/chart_bench
# A good client's p99 beside a flooding or watch-heavy client; watch adds and
# the market step with 100k watches.
	./build/release/bench/backend_bench
# Indicator kernels at 1M bars against Tulip Indicators, and the tail one new bar costs.
	./build/release/bench/indicator_bench --benchmark_repetitions=3

tsan: bootstrap
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
