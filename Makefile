# The two commands of the project; each installs what it needs first.
.PHONY: run test bench clean

run:
	@scripts/run.sh

test:
	@scripts/test.sh

clean:
	rm -rf build

bench:
	@scripts/bench.sh
