# make run   - install what is missing, build, start the game
# make test  - install what is missing, build, run every test
# make bench - build and run the benchmarks (figures in build/bench.txt)
# make package - build the Debian package (build/zorvek-plon_<version>_<arch>.deb)
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test bench build deps fuzz clean package

deps:
	@bash deps/install.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/zorvek-plon

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: build
	@if [ -x $(BUILD)/zp-bench ]; then ./$(BUILD)/zp-bench $(BUILD)/bench.txt; else echo "no benchmarks yet"; fi

package: build
	@cd $(BUILD) && cpack -G DEB

fuzz: deps
	@cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DZP_FUZZ=ON -DZP_SANITIZE=ON >/dev/null
	@cmake --build build-fuzz -j$(JOBS) --target fuzzers
	@bash tests/fuzz/run.sh build-fuzz $${FUZZ_SECONDS:-60}

clean:
	rm -rf $(BUILD) build-asan build-fuzz
