// Reads back what the visualisation writer left in an HDF5 file, through the HDF5 C
// library: a dataset's shape, its values (as doubles), whether it holds integers, and
// text attributes.
#pragma once

#include <hdf5.h>

#include <string>
#include <vector>

namespace quendal::testing {

class Hdf5File {
 public:
  explicit Hdf5File(const std::string& path)
      : file_(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT)) {}
  ~Hdf5File() {
    if (file_ >= 0) H5Fclose(file_);
  }
  Hdf5File(const Hdf5File&) = delete;
  Hdf5File& operator=(const Hdf5File&) = delete;

  bool is_open() const { return file_ >= 0; }
  // The object at an absolute path exists (each part of the path is tested in turn).
  bool exists(const std::string& path) const {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
      const std::string part = path.substr(0, slash);
      if (H5Lexists(file_, part.c_str(), H5P_DEFAULT) <= 0) return false;
      if (slash == std::string::npos) return true;
    }
  }
  std::vector<hsize_t> shape(const std::string& dataset) const {
    const hid_t d = H5Dopen2(file_, dataset.c_str(), H5P_DEFAULT);
    const hid_t space = H5Dget_space(d);
    std::vector<hsize_t> dims(static_cast<std::size_t>(H5Sget_simple_extent_ndims(space)));
    H5Sget_simple_extent_dims(space, dims.data(), nullptr);
    H5Sclose(space);
    H5Dclose(d);
    return dims;
  }
  std::vector<double> values(const std::string& dataset) const {
    const hid_t d = H5Dopen2(file_, dataset.c_str(), H5P_DEFAULT);
    const hid_t space = H5Dget_space(d);
    std::vector<double> v(static_cast<std::size_t>(H5Sget_simple_extent_npoints(space)));
    if (!v.empty()) H5Dread(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data());
    H5Sclose(space);
    H5Dclose(d);
    return v;
  }
  // The dataset holds 4-byte integers.
  bool holds_int32(const std::string& dataset) const {
    const hid_t d = H5Dopen2(file_, dataset.c_str(), H5P_DEFAULT);
    const hid_t type = H5Dget_type(d);
    const bool int32 = H5Tget_class(type) == H5T_INTEGER && H5Tget_size(type) == 4;
    H5Tclose(type);
    H5Dclose(d);
    return int32;
  }
  // A text attribute of the object at `path`.
  std::string text(const std::string& path, const std::string& attribute) const {
    const hid_t a = H5Aopen_by_name(file_, path.c_str(), attribute.c_str(), H5P_DEFAULT,
                                    H5P_DEFAULT);
    const hid_t type = H5Aget_type(a);
    char* data = nullptr;
    H5Aread(a, type, &data);
    std::string text = data ? data : "";
    H5free_memory(data);
    H5Tclose(type);
    H5Aclose(a);
    return text;
  }
  // A text dataset without dimensions.
  std::string text(const std::string& dataset) const {
    const hid_t d = H5Dopen2(file_, dataset.c_str(), H5P_DEFAULT);
    const hid_t type = H5Dget_type(d);
    char* data = nullptr;
    H5Dread(d, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, &data);
    std::string text = data ? data : "";
    H5free_memory(data);
    H5Tclose(type);
    H5Dclose(d);
    return text;
  }

 private:
  hid_t file_;
};

}  // namespace quendal::testing
