"""Checks a JUnit report of `nivexa compliance`: it parses as XML, its totals agree with its test
cases, and no test case failed. Usage: check_junit.py REPORT"""
import sys
import xml.etree.ElementTree as ElementTree


def main(path):
    suite = ElementTree.parse(path).getroot()
    if suite.tag != "testsuite":
        return f"root element is {suite.tag}, not testsuite"
    cases = suite.findall("testcase")
    failed = [case.get("name") for case in cases if case.find("failure") is not None]
    skipped = [case for case in cases if case.find("skipped") is not None]
    if not cases or any(not case.get("name") for case in cases):
        return "no test cases, or one without a name"
    if int(suite.get("tests")) != len(cases) or int(suite.get("failures")) != len(failed) or \
            int(suite.get("skipped")) != len(skipped):
        return "the suite's totals do not match its test cases"
    if failed:
        return "failed: " + ", ".join(failed)
    print(f"{len(cases)} test cases, {len(skipped)} skipped, none failed")
    return None


if __name__ == "__main__":
    problem = main(sys.argv[1])
    if problem:
        print(f"{sys.argv[1]}: {problem}", file=sys.stderr)
        sys.exit(1)
