# KovoZint: the three everyday commands. Each installs missing system packages first.
PRESET ?= dev
JOBS ?= $(shell nproc)

.PHONY: bootstrap run test bench asan tsan format clean

bootstrap:
	@bash scripts/bootstrap

# Until the reference terminal lands, run shows the message library at work:
# a launch request is built, framed and decoded back.
run: bootstrap
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target kovo-wire
	./build/release/tools/kovo-wire build 0=xr_zint_launch 20013=demo 31803=3.5.2.0 \
	  44031=demo_INT 44031=demo_BRD | ./build/release/tools/kovo-wire dump

# Debug build with every test, then the unit tests under address and
# undefined-behaviour sanitizers.
test: bootstrap
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) -j $(JOBS)
	ctest --preset $(PRESET) -j $(JOBS)
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench: bootstrap
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	./build/release/bench/codec_bench --benchmark_min_time=1
	./build/release/bench/tick_bench
	./build/release/bench/startup_bench

tsan: bootstrap
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
