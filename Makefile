# The two commands of the README. Both first install what is missing (as root).
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
EXAMPLE ?= examples/example
RUNDATA ?= rundata_example.txt

.PHONY: run test deps build-release build-test bench clean

deps:
	./scripts/install-deps.sh

build-release: deps
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
	cmake --build build/release -j $(JOBS)

# The program reads the advice of its numbered messages from helpmessages/ in the
# directory it is started in: the build's folder is linked there (git ignores the link).
run: build-release
	ln -sfn $(CURDIR)/build/release/helpmessages $(EXAMPLE)/helpmessages
	cd $(EXAMPLE) && $(CURDIR)/build/release/quendal -f $(RUNDATA)

build-test: deps
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENDAL_TEST_BUILD=ON
	cmake --build build/test -j $(JOBS)

test: build-test
	cd build/test && ctest --output-on-failure -j $(JOBS) --timeout 600

# Builds and runs the benchmarks: the first build takes a few minutes, the five
# benchmarks then run for about 40 seconds (the figures are only as steady as the
# machine is quiet).
bench: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DQUENDAL_BUILD_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	build/bench/bench/oc_step_bench
	build/bench/bench/vss_step_bench
	build/bench/bench/sy_step_bench
	build/bench/bench/cm_step_bench
	build/bench/bench/e2e_step_bench

clean:
	rm -rf build
