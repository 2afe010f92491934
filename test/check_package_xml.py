"""Checks that the package manifest is valid and lists what the build uses."""
import sys
from pathlib import Path

from catkin_pkg.package import parse_package

root = Path(sys.argv[1])
package = parse_package(str(root / "package.xml"))
package.validate()
cmake = (root / "CMakeLists.txt").read_text()
start = cmake.index("set(ros_dependencies")
used = cmake[start : cmake.index(")", start)].split()[1:]
missing = sorted(set(used) - {d.name for d in package.build_depends})
print(f"{package.name} {package.version}, format {package.package_format}, missing {missing}")
sys.exit(package.name != "skelmar_nav2_tools" or package.package_format != 3 or bool(missing))
