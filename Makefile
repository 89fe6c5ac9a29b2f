# The two commands of the project; each installs what it needs first.
.PHONY: run test clean

run:
	@scripts/run.sh

test:
	@scripts/test.sh

clean:
	rm -rf build
