# Folivant: top-level entry points. Every target installs and configures what it needs.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: all deps configure build check check-fast check-sanitize check-tsan demo run bench package \
        screenshots clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

configure: $(BUILD)/CMakeCache.txt

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

# Everything: the normal build and its tests, then the same tests under the sanitizers.
check: check-fast check-sanitize check-tsan

check-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Clang, as for the fuzz targets: it builds the instrumented tree in half the time GCC takes.
$(ASAN_BUILD)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DFOLIVANT_SANITIZE=ON \
	  -DFOLIVANT_BENCH=OFF $(CMAKE_ARGS)

check-sanitize: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer, on the test programs that run several threads only: the others would add
# build time and find nothing. setarch -R: clang 14's runtime cannot place its shadow memory
# under the larger address randomisation of newer kernels.
TSAN_TESTS := engine_test engine_faults_test record_test window_build_test cli_test albums_test
$(TSAN_BUILD)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DFOLIVANT_TSAN=ON -DFOLIVANT_BENCH=OFF $(CMAKE_ARGS)

check-tsan: deps $(TSAN_BUILD)/CMakeCache.txt
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS)
	cd $(TSAN_BUILD)/tests && for t in $(TSAN_TESTS); do \
	  echo "check-tsan: $$t"; \
	  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/scripts/tsan-suppressions.txt \
	    QT_QPA_PLATFORM=offscreen \
	    HOME=$(CURDIR)/$(TSAN_BUILD)/tests/app/home \
	    XDG_CONFIG_HOME=$(CURDIR)/$(TSAN_BUILD)/tests/app/home/config \
	    setarch -R ./$$t >$$t.log 2>&1 || { cat $$t.log; exit 1; }; \
	done

# The main job: builds the sample pictures into ./demo-catalog and prints where page1.html is.
demo: build
	scripts/demo

# The window, from the build folder.
run: build
	$(BUILD)/bin/folivant

# The Debian package folivant_<version>_<arch>.deb in $(BUILD), made by CPack.
package: build
	cmake --build $(BUILD) --target package
	@ls $(BUILD)/folivant_*.deb

bench: build
	bench/run

# Screenshots of the six tabs (needs xvfb-run) and of the catalog pages into docs/screenshots.
screenshots: deps configure
	cmake --build $(BUILD) --target screenshots
	cmake --build $(BUILD) --target page-screenshots

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD)
