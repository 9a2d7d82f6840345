"""Shared pieces of the Python package's tests."""

import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def root():
    return ROOT
