"""Checks that the package manifest is valid and lists what the build uses."""
import sys
from pathlib import Path

from catkin_pkg.package import parse_package


def main(root: Path) -> int:
    package = parse_package(str(root / "package.xml"))
    package.validate()
    declared = {d.name for d in package.build_depends}
    cmake = (root / "CMakeLists.txt").read_text()
    start = cmake.index("set(ros_dependencies")
    used = cmake[start:cmake.index(")", start)].split()[1:]
    missing = sorted(set(used) - declared)
    if package.name != "skelmar_nav2_tools" or package.package_format != 3 or missing:
        print(f"name={package.name} format={package.package_format} missing={missing}")
        return 1
    print(f"package.xml of {package.name} {package.version} is valid")
    return 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1])))
