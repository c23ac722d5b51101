# make run   - install what is missing, build, start the game
# make test  - install what is missing, build, run every test
# make bench - build and run the benchmarks (figures in build/bench.txt)
# make package - build the Debian package (build/zorvek-plon_<version>_<arch>.deb)
# make web   - build the game for the browser into build-web/ (page, .js, .wasm, pack)
# make serve-web - serve build-web/ on http://127.0.0.1:8080/ with the headers it needs
#                 (ISOLATED=0: without them, as a plain static server would)
BUILD ?= build
JOBS ?= $(shell nproc)

WEB_BUILD ?= build-web
WEB_PORT ?= 8080
# Where the browser build's libraries are built once and kept (those of the
# threaded variant, compiled with -pthread, beside them).
WEB_DEPS ?= $(CURDIR)/.cache/web-deps
WEB_THREADS_DEPS ?= $(WEB_DEPS)-threads
# Debian's Emscripten looks for its JavaScript modules here.
export NODE_PATH = /usr/share/nodejs

.PHONY: run test bench build deps fuzz clean package web serve-web bench-web

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
	@$(MAKE) --no-print-directory bench-web

# The browser build's figures, when it has been built (make web).
bench-web:
	@if [ -f $(WEB_BUILD)/zorvek-plon.wasm ] && [ -d tests/web/node_modules ]; then \
	    node tests/web/bench.mjs $(WEB_BUILD) | tee -a $(BUILD)/bench.txt; \
	else echo "web: no browser build (make web; npm ci --prefix tests/web)"; fi

package: build
	@cd $(BUILD) && cpack -G DEB

# The pack comes from the desktop build's generator; the libraries are built
# once into .cache/web-deps and .cache/web-deps-threads.
web: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target assets
	@bash deps/web-deps.sh $(WEB_DEPS)
	@bash deps/web-deps.sh $(WEB_THREADS_DEPS) --threads
	@emcmake cmake -S . -B $(WEB_BUILD) -DCMAKE_BUILD_TYPE=Release \
	    -DZP_WEB_DEPS=$(abspath $(WEB_DEPS))/prefix \
	    -DZP_WEB_THREADS_DEPS=$(abspath $(WEB_THREADS_DEPS))/prefix \
	    -DZP_WEB_PACK=$(abspath $(BUILD))/Files >/dev/null
	@cmake --build $(WEB_BUILD) -j$(JOBS)

ISOLATED ?= 1
serve-web:
	node web/serve.mjs $(WEB_BUILD) --port $(WEB_PORT) $(if $(filter 0,$(ISOLATED)),--not-isolated)

fuzz: deps
	@cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DZP_FUZZ=ON -DZP_SANITIZE=ON >/dev/null
	@cmake --build build-fuzz -j$(JOBS) --target fuzzers
	@bash tests/fuzz/run.sh build-fuzz $${FUZZ_SECONDS:-60}

clean:
	rm -rf $(BUILD) build-asan build-fuzz $(WEB_BUILD)
