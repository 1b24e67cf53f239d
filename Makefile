# Two commands: `make run` starts the program, `make test` runs every test.
# Both install what is missing first (Debian/Ubuntu packages, sudo only when not root).

.PHONY: run test deps build release bench fuzz format clean install package

run: deps
	cmake --preset release
	cmake --build --preset release
	./build/release/bin/quillmere

test: deps
	@if [ -f fuzz/CMakeLists.txt ]; then \
	  cmake --preset fuzz && cmake --build --preset fuzz && ctest --preset fuzz; \
	fi
	cmake --preset dev
	cmake --build --preset dev
	ctest --preset dev

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake --preset dev
	cmake --build --preset dev

bench: deps
	cmake --preset bench
	cmake --build --preset bench
	bash scripts/run-benchmarks.sh build/bench/bin

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

install: deps
	cmake --preset release
	cmake --build --preset release
	cmake --install build/release

# The Debian package of the release build: build/release/quillmere_<version>_amd64.deb.
package: deps
	cmake --preset release
	cmake --build --preset release
	cpack --preset release

clean:
	rm -rf build
