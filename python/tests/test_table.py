"""The Python package on real table files: values of every type and nulls,
every operation, and the engine's failures as exceptions."""
import datetime
import os

import pytest

import velmora
from velmora.values import decode_real48, encode_real48

FIELDS = ["Id:I", "Name:S:12", "Score:F", "Price:C", "Ratio:R", "Born:D", "Active:B"]
INDEXES = {"ById": ["Id"], "ByName": ["Name"], "ByActiveName": ["Active", "Name"]}
PEOPLE = [
    {"Id": 3, "Name": "Carla", "Score": 2.5, "Price": 12.25, "Ratio": 2.1,
     "Born": datetime.datetime(1990, 5, 17, 13, 5, 9), "Active": True},
    {"Id": 1, "Name": "anna", "Score": -1e20, "Price": 0.0, "Ratio": -0.5,
     "Born": datetime.datetime(1899, 12, 30), "Active": False},
    {"Id": 2, "Name": "Bert", "Score": None, "Price": None, "Ratio": None, "Born": None, "Active": None},
    {"Id": 4, "Name": "Bert", "Score": 7.0, "Price": 1.5, "Ratio": 1024.0,
     "Born": datetime.datetime(2024, 2, 29, 23, 59, 59, 500000), "Active": True},
    {"Id": 5, "Name": "éèê日本", "Score": 0.1, "Price": 3.0, "Ratio": 0.0,
     "Born": datetime.datetime(1970, 1, 1), "Active": False},
]


@pytest.fixture
def path(tmp_path):
    p = str(tmp_path / "people.vri")
    velmora.create(p, FIELDS, INDEXES)
    with velmora.open(p) as table:
        for person in PEOPLE:
            table.insert(person)
    return p


def by_id(records):
    return [r["Id"] for r in records]


def test_create_writes_the_table_files(tmp_path):
    p = str(tmp_path / "t.vri")
    velmora.create(p, [("Id", "Integer"), ("Name", "string", 5)], [("ById", ["Id"])])
    assert sorted(os.listdir(tmp_path)) == ["t.va1", "t.va2", "t.vrd", "t.vri"]
    assert os.path.getsize(tmp_path / "t.vri") == 520 * 4
    with velmora.open(p, "r") as table:
        assert [(f.name, f.type, f.size) for f in table.fields] == [("Id", "I", 4), ("Name", "S", 6)]
        assert table.indexes == ["ById"] and table.key_fields("ById") == ["Id"]
        assert len(table) == 0 and list(table) == []


def test_values_of_every_type_and_nulls_read_back(path):
    with velmora.open(path, "r") as table:
        records = {r["Id"]: r for r in table}
    assert records[2] == {"Id": 2, "Name": "Bert", "Score": None, "Price": None, "Ratio": None,
                          "Born": None, "Active": None}
    for person in PEOPLE:
        got = records[person["Id"]]
        for name in ("Id", "Name", "Score", "Price", "Born", "Active"):
            assert got[name] == person[name], name
            assert type(got[name]) is type(person[name]), name
        if person["Ratio"] is not None:
            assert got["Ratio"] == pytest.approx(person["Ratio"], rel=1e-11)


def test_six_byte_real_encoding():
    assert encode_real48(2.1).hex() == "826666666606"
    assert encode_real48(0.0) == bytes(6)
    assert encode_real48(-2.0)[5] & 0x80
    assert decode_real48(encode_real48(123.456)) == pytest.approx(123.456, rel=1e-11)
    with pytest.raises(OverflowError):
        encode_real48(1e300)


def test_records_in_any_index_order(path):
    with velmora.open(path, "r") as table:
        assert by_id(table.records()) == [1, 2, 3, 4, 5]
        # Byte order: upper case before lower case, then the UTF-8 bytes.
        assert by_id(table.records(index="ByName")) == [2, 4, 3, 1, 5]
        assert by_id(table.records(index=2)) == [2, 1, 5, 4, 3]


def test_key_ranges(path):
    with velmora.open(path, "r") as table:
        assert by_id(table.range(2, 4)) == [2, 3, 4]
        assert by_id(table.range("B", "C", index="ByName")) == [2, 4]
        assert by_id(table.range((True,), (True,), index="ByActiveName")) == [4, 3]
        # The range ends with the iteration: the whole index again.
        assert by_id(table.records()) == [1, 2, 3, 4, 5]
        with pytest.raises(ValueError):
            list(table.range((1, 2), None))


def test_find_and_find_all(path):
    with velmora.open(path, "r") as table:
        assert table.find(3)["Name"] == "Carla"
        assert table.find(99) is None
        assert by_id(table.find_all("Bert", index="ByName")) == [2, 4]
        assert by_id(table.find_all("Bert", index="ByName", limit=1)) == [2]
        assert table.find_all("Zed", index="ByName") == []
        assert table.find(True, "Carla", index="ByActiveName")["Id"] == 3


def test_locate(path):
    with velmora.open(path, "r") as table:
        assert table.locate(Name="carla", ignore_case=True)["Id"] == 3
        assert table.locate(Name="carla") is None
        assert table.locate(Name="Car", partial=3)["Id"] == 3
        assert table.locate(Active=False, Name="anna")["Id"] == 1
        assert table.current()["Id"] == 1
        with pytest.raises(KeyError):
            table.locate(Nope=1)


def test_insert_update_delete(path):
    with velmora.open(path) as table:
        table.insert({"Id": 6, "Name": "Dora"})
        assert table.find(6) == {"Id": 6, "Name": "Dora", "Score": None, "Price": None, "Ratio": None,
                                 "Born": None, "Active": None}
        assert table.update(6, {"Score": 9.75, "Name": None})
        assert table.find(6)["Score"] == 9.75 and table.find(6)["Name"] is None
        assert table.update(99, {"Score": 1.0}) is False
        assert table.delete(6) and not table.delete(6)
        assert len(table) == 5
        table.empty()
        assert len(table) == 0


def test_bookmarks(path):
    with velmora.open(path) as table:
        table.find(4)
        mark = table.bookmark()
        table.find(1)
        assert table.goto(mark)["Id"] == 4
        table.forget(mark)


def test_check_and_rebuild_repair_a_record_no_index_reaches(path):
    # A record appended to the data file behind the library's back.
    with velmora.open(path, "r") as table:
        size = table.record_size
        at = table.field("Id").offset
    data = path[:-4] + ".vrd"
    with open(data, "rb") as f:
        first = f.read(size)
    record = bytearray(first)
    record[at:at + 4] = (77).to_bytes(4, "little")
    with open(data, "ab") as f:
        f.write(record)
    with velmora.open(path) as table:
        problems = table.check()
        assert "index ById reaches 5 of the 6 records" in problems
        assert table.rebuild() == (6, 6)
        assert table.check() == []
        assert table.find(77)["Name"] == "Carla"


def test_engine_failures_as_exceptions(path, tmp_path):
    with velmora.open(path) as table:
        with pytest.raises(velmora.VelmoraDBError) as failure:
            table.insert({"Id": 1, "Name": "again"})
        assert failure.value.message == "Insertion Error. Key violation in Velmora."
        assert failure.value.class_name == "EVelmoraDBError"
        assert str(failure.value) == failure.value.message
        assert len(table) == 5
        # Another user may not open the table for writing while this one holds it.
        with pytest.raises(velmora.Error, match="in use by another program"):
            velmora.open(path)
        with velmora.open(path, "r") as reader:
            assert len(reader) == 5
    with pytest.raises(velmora.Error, match="missing.vri: no such table"):
        velmora.open(str(tmp_path / "missing.vri"))
    with pytest.raises(velmora.InOutError) as failure:
        velmora.create(str(tmp_path / "no" / "such" / "t.vri"), ["Id:I"], {"ById": ["Id"]})
    assert failure.value.io_code == 2 and failure.value.class_name == "EInOutError"


def test_values_refused_before_they_reach_the_table(path):
    with velmora.open(path) as table:
        with pytest.raises(ValueError, match="longer than the 12 bytes"):
            table.insert({"Id": 9, "Name": "é" * 7})
        table.insert({"Id": 9, "Name": "é" * 6})
        with pytest.raises(OverflowError):
            table.insert({"Id": 2 ** 31})
        with pytest.raises(TypeError):
            table.insert({"Id": "1"})
        with pytest.raises(KeyError):
            table.insert({"Nope": 1})
        assert len(table) == 6


def test_context_manager_closes_the_table(path):
    with velmora.open(path) as table:
        pass
    assert table.closed
    with pytest.raises(ValueError, match="closed"):
        len(table)
    # Closed means released: another writer may open it now.
    velmora.open(path).close()


def test_table_utilities(path, tmp_path):
    copy = str(tmp_path / "copy.vri")
    velmora.copy(path, copy)
    with pytest.raises(velmora.Error):
        velmora.copy(path, copy)
    velmora.rename(copy, str(tmp_path / "moved.vri"))
    with velmora.open(str(tmp_path / "moved.vri"), "r") as table:
        assert len(table) == 5
    velmora.drop(str(tmp_path / "moved.vri"))
    assert not os.path.exists(tmp_path / "moved.vri")


def test_create_refuses_bad_definitions(tmp_path):
    p = str(tmp_path / "t.vri")
    with pytest.raises(ValueError, match="unknown type"):
        velmora.create(p, ["Id:Q"], {"ById": ["Id"]})
    with pytest.raises(ValueError, match="no field named"):
        velmora.create(p, ["Id:I"], {"ById": ["Nope"]})
    with pytest.raises(ValueError, match="at most 26 fields"):
        velmora.create(p, ["F%d:I" % i for i in range(27)], {"ById": ["F0"]})
    assert not os.path.exists(p)


def test_library_version():
    assert velmora.library_version().count(".") == 2


def test_to_pandas(path):
    pandas = pytest.importorskip("pandas")
    with velmora.open(path, "r") as table:
        frame = table.to_pandas()
    assert isinstance(frame, pandas.DataFrame) and list(frame["Id"]) == [1, 2, 3, 4, 5]


def test_readme_example_runs(tmp_path, monkeypatch, capsys):
    readme = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")
    with open(readme, encoding="utf-8") as f:
        text = f.read()
    example = text.split("```python\n", 1)[1].split("```", 1)[0]
    assert len(example.strip().splitlines()) == 5
    monkeypatch.chdir(tmp_path)
    exec(compile(example, "README.md", "exec"), {})
    assert capsys.readouterr().out == "['Ann']\n"
