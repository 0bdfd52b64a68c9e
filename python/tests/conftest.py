import os
import sys

# The package from this source tree, over the library the build names in VELMORA_C_LIBRARY.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
