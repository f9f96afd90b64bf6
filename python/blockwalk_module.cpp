// The reference as a Python module: pictures read as blockwalk reads them, blocks interpolated
// from NumPy planes, one at a time or many at once, and the checking tools' check and vector
// sets. Nothing here reads outside an array it is given: every call's footprint is checked
// against its plane first.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "check.h"
#include "interpolate.h"
#include "manifest.h"
#include "report.h"
#include "stream.h"
#include "vector_set.h"
#include "version.h"
#include "walk.h"

namespace py = pybind11;

namespace {

// What blockwalk refuses, with its status: a picture's (-1, -2, -3), or the check's trouble (2).
struct blockwalk_error {
  int status;
  std::string message;
  bool picture;
};

// A plane as the module takes it: an ndarray of uint8, (rows, stride, 3), C-contiguous.
struct plane_ref {
  const uint8_t* data = nullptr;
  size_t size = 0;
  int32_t rows = 0, stride = 0;
};

plane_ref plane_from(const py::object& object) {
  if (!py::isinstance<py::array>(object)) {
    throw py::type_error("plane: a numpy.ndarray of uint8 is needed, not " +
                         std::string(py::str(py::type::of(object).attr("__name__"))));
  }
  const py::array a = py::reinterpret_borrow<py::array>(object);
  if (a.dtype().kind() != 'u' || a.itemsize() != 1) {
    throw py::type_error("plane: dtype " + std::string(py::str(a.dtype())) + ", not uint8");
  }
  if (a.ndim() != 3 || a.shape(2) != 3) {
    throw py::value_error("plane: shape " + std::string(py::str(object.attr("shape"))) +
                          ", not (rows, stride, 3)");
  }
  if (!(a.flags() & py::array::c_style)) {
    throw py::value_error("plane: not C-contiguous; numpy.ascontiguousarray(plane) makes it so");
  }
  if (a.shape(0) < 1 || a.shape(1) < 1 || a.shape(0) > INT32_MAX || a.shape(1) > INT32_MAX / 3) {
    throw py::value_error("plane: shape " + std::string(py::str(object.attr("shape"))) +
                          " is empty, or too large for 32-bit positions");
  }
  return {static_cast<const uint8_t*>(a.data()), static_cast<size_t>(a.nbytes()),
          static_cast<int32_t>(a.shape(0)), static_cast<int32_t>(a.shape(1))};
}

int32_t height_of(const plane_ref& plane, const std::optional<int64_t>& height) {
  if (!height) return plane.rows;
  if (*height < 1 || *height > INT32_MAX) {
    throw py::value_error("height: " + std::to_string(*height) + ", not 1 ... 2147483647");
  }
  return static_cast<int32_t>(*height);
}

std::string call_text(const block_call& c) {
  return "x " + std::to_string(c.x) + ", y " + std::to_string(c.y) + ", mvx " +
         std::to_string(c.mvx) + ", mvy " + std::to_string(c.mvy) + " (stride " +
         std::to_string(c.stride) + ", height " + std::to_string(c.height) + ")";
}

py::array_t<uint8_t> interpolate_one(const py::object& plane_object, int32_t x, int32_t y,
                                     int32_t mvx, int32_t mvy, std::optional<int64_t> height) {
  const plane_ref plane = plane_from(plane_object);
  const block_call call{plane.stride, height_of(plane, height), x, y, mvx, mvy};
  if (!footprint_fits(call, plane.size)) {
    throw py::value_error("the block at " + call_text(call) + " reads outside the plane");
  }
  py::array_t<uint8_t> block({block_size, block_size, 3});
  interpolate_block(call.stride, block.mutable_data(), plane.data, call.height, x, y, mvx, mvy);
  return block;
}

py::array interpolate_many(const py::object& plane_object, const py::object& calls_object,
                           std::optional<int64_t> height, const py::object& out_object) {
  const plane_ref plane = plane_from(plane_object);
  const int32_t clamp_height = height_of(plane, height);
  if (!py::isinstance<py::array>(calls_object)) {
    throw py::type_error("calls: a numpy.ndarray of integers is needed, not " +
                         std::string(py::str(py::type::of(calls_object).attr("__name__"))));
  }
  const py::array given = py::reinterpret_borrow<py::array>(calls_object);
  if (given.dtype().kind() != 'i' && given.dtype().kind() != 'u') {
    throw py::type_error("calls: dtype " + std::string(py::str(given.dtype())) +
                         ", not an integer type");
  }
  if (given.ndim() != 2 || given.shape(1) != 4) {
    throw py::value_error("calls: shape " + std::string(py::str(calls_object.attr("shape"))) +
                          ", not (N, 4): x, y, mvx, mvy");
  }
  // As 64-bit integers, in C order, whatever the caller's layout.
  const auto calls = py::array_t<int64_t, py::array::c_style | py::array::forcecast>::ensure(given);
  const size_t count = static_cast<size_t>(calls.shape(0));
  const std::vector<py::ssize_t> shape = {static_cast<py::ssize_t>(count), py::ssize_t{block_size},
                                          py::ssize_t{block_size}, py::ssize_t{3}};
  py::array blocks;
  if (out_object.is_none()) {
    blocks = py::array_t<uint8_t>(shape);
  } else {
    // The caller's array, to fill again and again without making one each time.
    if (!py::isinstance<py::array>(out_object))
      throw py::type_error("out: a numpy.ndarray is needed");
    blocks = py::reinterpret_borrow<py::array>(out_object);
    if (blocks.dtype().kind() != 'u' || blocks.itemsize() != 1) {
      throw py::type_error("out: dtype " + std::string(py::str(blocks.dtype())) + ", not uint8");
    }
    if (std::vector<py::ssize_t>(blocks.shape(), blocks.shape() + blocks.ndim()) != shape ||
        !(blocks.flags() & py::array::c_style) || !blocks.writeable()) {
      throw py::value_error("out: shape " + std::string(py::str(out_object.attr("shape"))) +
                            "; a writable, C-contiguous (N, 16, 16, 3) is needed, N the calls'");
    }
  }
  const int64_t* v = calls.data();
  uint8_t* out = static_cast<uint8_t*>(blocks.mutable_data());
  size_t bad = count;
  bool outside = false;  // else beyond 32 bits
  {
    py::gil_scoped_release unlocked;
    // Every call is checked before any runs.
    for (size_t i = 0; i < count && bad == count; ++i) {
      const int64_t* c = v + 4 * i;
      if (std::any_of(c, c + 4, [](int64_t n) { return n < INT32_MIN || n > INT32_MAX; })) {
        bad = i;
        break;
      }
      const block_call call{plane.stride,
                            clamp_height,
                            static_cast<int32_t>(c[0]),
                            static_cast<int32_t>(c[1]),
                            static_cast<int32_t>(c[2]),
                            static_cast<int32_t>(c[3])};
      if (!footprint_fits(call, plane.size)) bad = i, outside = true;
    }
    for (size_t i = 0; i < count && bad == count; ++i) {
      const int64_t* c = v + 4 * i;
      interpolate_block(plane.stride, out + i * block_bytes, plane.data, clamp_height,
                        static_cast<int32_t>(c[0]), static_cast<int32_t>(c[1]),
                        static_cast<int32_t>(c[2]), static_cast<int32_t>(c[3]));
    }
  }
  if (bad < count) {
    const int64_t* c = v + 4 * bad;
    const std::string values = std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " +
                               std::to_string(c[2]) + ", " + std::to_string(c[3]);
    throw py::value_error(
        "calls[" + std::to_string(bad) + "] = (" + values +
        "): " + (outside ? "the block reads outside the plane" : "a value beyond 32 bits"));
  }
  return blocks;
}

py::tuple read_picture(const std::string& path) {
  bitmap_picture picture;
  std::string problem;
  const bitmap_status status = read_bitmap_file(path.c_str(), &picture, &problem);
  if (status != bitmap_status::ok) {
    throw blockwalk_error{status_code(status), bitmap_refusal(status, problem), true};
  }
  if (picture.plane.empty()) {
    throw blockwalk_error{unusable_picture,
                          "error -3! (a bitmap blockwalk cannot interpolate: not 24 bits per "
                          "pixel, or compressed)",
                          true};
  }
  py::array_t<uint8_t> plane(
      {py::ssize_t{picture.height}, py::ssize_t{picture.width}, py::ssize_t{3}});
  std::copy(picture.plane.begin(), picture.plane.end(), plane.mutable_data());
  return py::make_tuple(plane, picture.height);
}

// A JSON value as the json module would parse its text: dicts keep their members' order.
py::object python_of(const json_value& v) {
  if (const bool* b = std::get_if<bool>(&v.value)) return py::bool_(*b);
  if (const int64_t* n = std::get_if<int64_t>(&v.value)) return py::int_(*n);
  if (const std::string* s = std::get_if<std::string>(&v.value)) return py::str(*s);
  if (const json_array* a = std::get_if<json_array>(&v.value)) {
    py::list list;
    for (const json_value& e : *a) list.append(python_of(e));
    return std::move(list);
  }
  if (const json_object* o = std::get_if<json_object>(&v.value)) {
    py::dict dict;
    for (const auto& [key, value] : *o) dict[py::str(key)] = python_of(value);
    return std::move(dict);
  }
  return py::none();
}

// The blocks of an ndarray, uint8 in one of the stream's shapes.
std::vector<uint8_t> blocks_of(const py::array& a) {
  if (a.dtype().kind() != 'u' || a.itemsize() != 1) {
    throw py::type_error("blocks: dtype " + std::string(py::str(a.dtype())) + ", not uint8");
  }
  if (a.ndim() < 1 || !is_block_shape({a.shape() + 1, a.shape() + a.ndim()})) {
    throw py::value_error("blocks: shape " + std::string(py::str(a.attr("shape"))) +
                          ", not (N, 16, 16, 3), (N, 16, 48) or (N, 768)");
  }
  if (!(a.flags() & py::array::c_style)) throw py::value_error("blocks: not C-contiguous");
  const auto* data = static_cast<const uint8_t*>(a.data());
  return {data, data + a.nbytes()};
}

py::object check(const std::string& dir, const py::object& blocks, const std::string& picture) {
  check_set set;
  std::string error;
  if (!read_check_set(dir, picture, &set, &error)) throw blockwalk_error{2, error, false};
  std::optional<std::vector<uint8_t>> stream;
  if (py::isinstance<py::array>(blocks)) {
    stream = blocks_of(py::reinterpret_borrow<py::array>(blocks));
    if (stream->size() / block_bytes > set.cases.size()) {
      throw py::value_error("blocks: " + std::to_string(stream->size() / block_bytes) +
                            " blocks, more than the " + std::to_string(set.cases.size()) +
                            " of the check");
    }
  } else if (!blocks.is_none()) {
    const std::string path = py::str(py::module_::import("os").attr("fspath")(blocks));
    stream.emplace();
    if (!read_block_stream(path, set.cases.size(), &*stream, &error)) {
      throw blockwalk_error{2, path + ": " + error, false};
    }
  }
  json_value json;
  {
    py::gil_scoped_release unlocked;
    if (stream) name_by_stream_place(&set);
    const check_report report = stream ? check_stream(set, *stream) : run_check(set, dir);
    json = report_json(set, report);
  }
  return python_of(json);
}

std::string make_vectors(const std::string& outdir, const std::optional<std::string>& picture,
                         int64_t seed, const std::vector<std::string>& formats) {
  vector_set_options options;
  if (seed < 0 || seed > 0xFFFFFFFF) {
    throw py::value_error("seed: " + std::to_string(seed) + ", not 0 ... 4294967295");
  }
  options.seed = static_cast<uint32_t>(seed);
  options.picture = picture.value_or("");
  std::string list;
  for (const std::string& f : formats) list += (list.empty() ? "" : ",") + f;
  if (!parse_set_formats(list, &options.formats)) {
    throw py::value_error("formats: bmp, bin, npy and memh, each once; got (" + list + ")");
  }
  std::string summary, error;
  {
    py::gil_scoped_release unlocked;
    if (!make_vector_set(outdir, options, &summary, &error)) {
      throw blockwalk_error{2, error, false};
    }
  }
  return outdir + "/" + manifest_name;
}

}  // namespace

PYBIND11_MODULE(blockwalk, m) {
  m.doc() =
      "blockwalk's quarter-pixel interpolation of 16 x 16 blocks, exact to the byte, on NumPy "
      "planes of uint8 (rows, stride, 3); and its check of another implementation's blocks.";
  static py::exception<blockwalk_error> error(m, "Error");
  static py::exception<blockwalk_error> picture_error(m, "PictureError", error.ptr());
  error.doc() = "What blockwalk refuses: .status and .message say what and why.";
  py::register_exception_translator([](std::exception_ptr thrown) {
    try {
      if (thrown) std::rethrow_exception(thrown);
    } catch (const blockwalk_error& e) {
      const py::exception<blockwalk_error>& type = e.picture ? picture_error : error;
      py::object value = py::reinterpret_borrow<py::object>(type.ptr())(e.message);
      value.attr("status") = e.status;
      value.attr("message") = e.message;
      PyErr_SetObject(type.ptr(), value.ptr());
    }
  });

  m.def("read_picture", &read_picture, py::arg("path"),
        "The picture's plane as blockwalk reads it, uint8 (rows, stride, 3) in the file's row "
        "order, and its height: (plane, height). Raises PictureError with blockwalk's status "
        "and message where blockwalk refuses it.");
  m.def("interpolate_block", &interpolate_one, py::arg("plane"), py::arg("x"), py::arg("y"),
        py::arg("mvx"), py::arg("mvy"), py::arg("height") = py::none(),
        "The block at (x, y) + (mvx, mvy) / 4 of the plane, uint8 (16, 16, 3); height, the "
        "clamp's (default: the plane's rows). Raises ValueError where the block would read "
        "outside the plane.");
  m.def("interpolate_blocks", &interpolate_many, py::arg("plane"), py::arg("calls"),
        py::arg("height") = py::none(), py::arg("out") = py::none(),
        "Blocks of the plane for calls, an integer ndarray (N, 4) of x, y, mvx, mvy: uint8 "
        "(N, 16, 16, 3), made anew or written into out. Checks every call first, and raises "
        "ValueError naming the first that would read outside the plane; runs without the "
        "interpreter's lock.");
  m.def("check", &check, py::arg("dir"), py::arg("blocks") = py::none(), py::arg("picture") = "",
        "check_walk's report, as its --json gives it, for the walk or vector set in dir; "
        "blocks, a stream's path or an ndarray of uint8 (N, 16, 16, 3), (N, 16, 48) or "
        "(N, 768), stands for the block files. Raises Error (status 2) where check_walk is in "
        "trouble.");
  m.def("make_vectors", &make_vectors, py::arg("outdir"), py::arg("picture") = py::none(),
        py::arg("seed") = 1, py::arg("formats") = std::vector<std::string>{"bmp"},
        "Writes make_vectors' set into outdir; returns the manifest's path.");
  m.def("level", &blockwalk_level, "The vector level interpolate_block uses on this processor.");
  m.attr("__version__") = blockwalk_version();
}
