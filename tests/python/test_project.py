# Projects built, walked, saved and opened; keys in user units; undo groups;
# effects and masks.
import random

import pytest

import tavelo
from conftest import simple_description


def test_build_walk_save_and_open(engine, tmp_path):
    project = engine.build(simple_description())
    comp = project.comp("Main")
    assert [c.name for c in project.comps] == ["Main"]
    assert (comp.width, comp.height, comp.frame_rate, comp.frame_count) == (64, 48, 24.0, 24)
    assert comp.kind == "comp" and isinstance(project.find("Main"), tavelo.Comp)
    assert [layer.name for layer in comp] == ["Fill"] and len(comp) == 1
    layer = comp[0]
    assert layer.comp == comp and layer.source.kind == "solid"
    assert layer.position.value == (32.0, 24.0)
    assert layer.opacity.value == 100.0 and layer.scale.value == (100.0, 100.0)

    bar = comp.add_solid("Bar", 0xFFFF0000, width=20, height=10)
    bar.position = (10, 5)
    assert bar.index == 0 and comp.layer("Bar") == bar
    path = tmp_path / "p.tvp"
    project.save(str(path))
    assert project.path.endswith("p.tvp") and not project.dirty
    dump = project.dump()

    engine.new_project()
    assert engine.project.comps == []
    reopened = engine.open(path)
    assert reopened.dump() == dump
    assert reopened.comp("Main").layer("Bar").position.value == (10.0, 5.0)
    # A project replaced by another is refused, never taken for the new one
    # (saving it would have written the new project under its name).
    other = engine.build({"comps": [{"name": "Other", "width": 8, "height": 8, "fps": 24, "duration": 1}]})
    for stale in (project, reopened):
        with pytest.raises(tavelo.Error, match="belongs to a project that was closed") as err:
            stale.save(str(tmp_path / "q.tvp"))
        assert err.value.code == 3
        with pytest.raises(tavelo.Error):
            stale.comps
    assert not (tmp_path / "q.tvp").exists()
    assert [c.name for c in other.comps] == ["Other"] and engine.project.comp("Other") == other.comp("Other")


def test_keys_in_user_units_and_undo_groups(engine, title_card, tmp_path):
    # A built description has nothing to undo, as an opened project has not:
    # undoing must not take the build apart.
    assert engine.open(title_card).undo_name is None
    project = engine.build(simple_description())
    assert project.undo_name is None and project.redo_name is None
    layer = project.comp("Main")[0]
    opacity = layer.opacity
    assert not opacity.animated and opacity.keys == []
    with project.undo_group("Fade In"):
        opacity.add_key(0.0, 0.0)
        opacity.add_key(0.5, 100)
        layer.rotation = 45
    assert project.undo_name == "Fade In"
    keys = opacity.keys
    assert [(k.time, k.value) for k in keys] == [(0.0, 0.0), (0.5, 100.0)]
    assert keys[0].out_interpolation == "linear"
    assert opacity.value_at(0.25) == pytest.approx(50.0)
    # User values are validated: opacity 150 % stores 100 %.
    opacity.set_value(150, time=0.5)
    assert opacity.value_at(0.5) == pytest.approx(100.0)
    opacity.set_interpolation(0, "hold", "hold")
    assert opacity.value_at(0.25) == pytest.approx(0.0)

    for _ in range(2):
        project.undo()
    assert project.undo_name == "Fade In"
    project.undo()
    assert project.undo_name is None
    assert not opacity.animated and layer.rotation.value == 0.0
    assert project.redo_name == "Fade In"
    project.redo()
    assert opacity.num_keys == 2 and layer.rotation.value == 45.0
    opacity.remove_key(1)
    assert [k.time for k in opacity.keys] == [0.0]
    # Saving starts a new history, as opening does.
    project.undo()
    project.save(str(tmp_path / "saved.tvp"))
    assert project.undo_name is None and project.redo_name is None
    assert [k.time for k in opacity.keys] == [0.0, 0.5]


def test_effects_and_masks(engine):
    names = dict(engine.effects())
    assert "TVLO Fast Blur" in names.values()
    project = engine.build(simple_description())
    comp = project.comp("Main")
    layer = comp[0]
    blur = layer.apply_effect("TVLO Fast Blur")
    assert blur.match_name == "TVLO Fast Blur" and len(layer.effects) == 1
    first = blur.param_names[0]
    blur.param(first).value = 3
    assert blur[1].value == pytest.approx(3.0)
    blur[first] = 4
    assert blur[1].value == pytest.approx(4.0)
    blur.enabled = False
    assert not blur.enabled
    blur.name = "Soft"
    assert blur.name == "Soft"

    mask = layer.add_mask(rect=(0, 0, 32, 48), feather=0)
    assert (mask.name, mask.mode, mask.inverted) == ("Mask 1", "add", False)
    rgba = comp.render_frame(0)
    assert rgba[10, 5, 3] == 255 and rgba[10, 50, 3] == 0
    mask.inverted = True
    rgba = comp.render_frame(0)
    assert rgba[10, 5, 3] == 0 and rgba[10, 50, 3] == 255
    # Feather and opacity are set as a layer's properties are.
    mask.opacity = 40
    mask.feather = 2.5
    assert (mask.opacity.value, mask.feather.value) == (40, (2.5, 2.5)) and project.undo_name
    assert comp.render_frame(0)[10, 50, 3] == 102
    mask.delete()
    assert layer.masks == []

    # Masks and effects are followed, not their places: deleting one before
    # leaves the others' objects (and properties) on them; a deleted one
    # refuses, and is found again when its deletion is undone.
    masks = [layer.add_mask(rect=(0, 0, 8 * k, 8)) for k in (1, 2, 3)]
    second, third = masks[1], masks[2]
    feather = third.feather
    masks[0].delete()
    assert (second.name, second.index, third.index) == ("Mask 2", 0, 1)
    feather.value = 4
    assert [m.feather.value for m in layer.masks] == [(0.0, 0.0), (4.0, 4.0)]
    with pytest.raises(tavelo.Error, match="the mask was deleted"):
        masks[0].name
    project.undo()  # the feather
    project.undo()  # the deletion
    assert masks[0].index == 0 and masks[0].name == "Mask 1" and third.index == 2
    levels = layer.apply_effect("Invert")
    radius = blur[first]
    blur.delete()
    assert levels.index == 0 and levels.name == "Invert"
    with pytest.raises(tavelo.Error, match="the effect was deleted"):
        radius.value
    for effect in layer.effects:
        effect.delete()
    for m in layer.masks:
        m.delete()
    assert layer.effects == [] and layer.masks == []



def test_a_removed_item_takes_no_changes_until_put_back(engine):
    project = engine.build(simple_description())
    main = project.comp("Main")
    spare = project.new_comp("Spare", 16, 16)
    spare.remove()
    # Nothing reaches an item in the undo stack: a layer of it would have
    # been saved without a source.
    for change in (lambda: spare.add_solid("X", 0xFFFF0000), lambda: setattr(spare, "name", "Y"),
                   lambda: spare.render_frame(0), lambda: spare.remove()):
        with pytest.raises(tavelo.Error, match="the item was removed from the project"):
            change()
    with pytest.raises(tavelo.Error, match="can't be installed as a source"):
        main.add_layer(spare)
    assert [l.name for l in main] == ["Fill"] and project.undo_name == "Remove Item"
    project.undo()
    assert main.add_layer(spare).source == spare


def random_edits(r, project, make, drop, check, steps=40):
    # Makes (make(kind, n) -> object), drops, undoes and redoes at random,
    # checking every object made after each step.
    held = []
    for n in range(steps):
        k = r.randrange(5)
        if k < 2:
            held.append(make(k, n))
        elif k == 2 and held:
            try:
                drop(r.choice(held))
            except tavelo.Error:
                pass
        elif k == 3 and project.undo_name:
            project.undo()
        elif k == 4 and project.redo_name:
            project.redo()
        check(held)


@pytest.mark.parametrize("seed", range(30))
def test_mask_and_effect_objects_keep_to_their_own(engine, seed):
    # Effects freed with a dropped undo record leave addresses that new ones
    # take: every object still names its own mask or effect, or raises while
    # it is not there.
    r = random.Random(seed)
    layer = engine.build(simple_description()).comp("Main")[0]

    def make(kind, n):
        made = layer.add_mask(rect=(0, 0, 5, 5)) if kind == 0 else layer.apply_effect(r.choice(["Invert", "Fast Blur"]))
        made.name = "N%d" % n
        return made, "N%d" % n

    def check(held):
        shown = {m.name for m in layer.masks} | {e.name for e in layer.effects}
        for obj, name in held:
            try:
                got = obj.name
            except tavelo.Error as err:
                assert name not in shown and "deleted" in str(err)
                continue
            # A name is its own undo step: undone, the object shows its default.
            assert got in shown and (got == name or not got.startswith("N"))

    random_edits(r, engine.project, make, lambda held: held[0].delete(), check)


@pytest.mark.parametrize("seed", range(20))
def test_layer_and_item_objects_keep_to_their_own(engine, seed):
    # As for masks and effects: layers and compositions freed with a dropped
    # undo record leave addresses that new ones take.
    r = random.Random(seed)
    project = engine.build(simple_description())
    comp = project.comp("Main")

    def make(kind, n):
        return comp.add_solid("S%d" % n, 0xFFFF0000) if kind == 0 else project.new_comp("K%d" % n, 8, 8)

    def check(held):
        shown = [l for l in comp] + [i for i in project.items]
        for obj in held:
            try:
                name = obj.name
            except tavelo.Error as err:
                assert obj not in shown and ("deleted" in str(err) or "removed" in str(err))
                continue
            assert obj in shown and name == shown[shown.index(obj)].name

    random_edits(r, project, make, lambda obj: obj.delete() if isinstance(obj, tavelo.Layer) else obj.remove(), check)


def test_what_an_item_is_not_is_told(engine, tmp_path):
    project = engine.build(simple_description())
    main = project.comp("Main")
    solid = main[0].source
    for call, text in ((lambda: main.interpret(alpha="ignore"), 'only footage is interpreted ("Main" is a composition)'),
                       (lambda: solid.interpretation, 'only footage is interpreted ("Fill" is a solid)'),
                       (lambda: solid.set_proxy(None), 'only footage and compositions take a proxy ("Fill" is a solid)'),
                       (lambda: solid.remove(), 'a solid goes with its layer: delete the layer ("Fill")')):
        with pytest.raises(tavelo.Error) as err:
            call()
        assert str(err.value) == text and err.value.code == 3
    assert [l.name for l in main] == ["Fill"] and project.undo_name is None
    # An engine report that names its code already is not followed by it again.
    main.save_frame(str(tmp_path / "still.png"), 0)
    still = project.import_footage(str(tmp_path / "still.png"))
    with pytest.raises(tavelo.Error) as err:
        still.interpret(fps=24)
    assert str(err.value) == "interpreting the footage failed: attempt to set FPS of NO_TIME module (code 9988)."
    assert err.value.code == 9988
    with pytest.raises(tavelo.Error, match=r"cannot import .*: it is a folder \(a numbered sequence is imported by one"):
        project.import_footage(str(tmp_path))
    with pytest.raises(tavelo.Error, match=r"the proxy .* is a folder, not a file"):
        main.set_proxy(tmp_path)
    with pytest.raises(tavelo.Error, match=r"cannot save to .*: it is a folder"):
        project.save(str(tmp_path))
